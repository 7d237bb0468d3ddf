#pragma once

#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace halvex::client {

// A mistake on the command line; `what()` is printed with the subcommand's usage.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One subcommand's options: "--name VALUE", "--name=VALUE" or the flag "--name", anywhere among
// the positional arguments. "--help" (or "-h") is always known, and "-o FILE" is short for
// "--output FILE" where a subcommand has that option.
struct OptionSpec {
    std::string name;  // without the dashes
    bool takesValue = true;
    std::string valueName;  // for the usage text, e.g. "DIR"
    std::string help;
};

class CommandLine {
public:
    // Throws UsageError for an unknown option, a missing value or a bad positional count.
    CommandLine(const std::vector<std::string>& arguments, const std::vector<OptionSpec>& options,
                std::size_t minimumPositionals, std::size_t maximumPositionals);

    bool helpRequested() const { return help_; }
    const std::vector<std::string>& positionals() const { return positionals_; }
    bool flag(const std::string& name) const { return flags_.count(name) > 0; }
    std::optional<std::string> value(const std::string& name) const;
    std::string value(const std::string& name, const std::string& fallback) const;
    // A finite number; UsageError naming the option otherwise.
    double number(const std::string& name, double fallback) const;

    // "  --name VALUE   help" lines.
    static std::string describe(const std::vector<OptionSpec>& options);

private:
    std::vector<std::string> positionals_;
    std::map<std::string, std::string> values_;
    std::set<std::string> flags_;
    bool help_ = false;
};

}  // namespace halvex::client
