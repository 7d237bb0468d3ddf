#include "client/commands/CommandLine.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace halvex::client {

CommandLine::CommandLine(const std::vector<std::string>& arguments, const std::vector<OptionSpec>& options,
                         std::size_t minimumPositionals, std::size_t maximumPositionals) {
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--help" || argument == "-h") {
            help_ = true;
            continue;
        }
        if (argument.size() > 2 && argument.rfind("--", 0) == 0) {
            std::string name = argument.substr(2);
            std::optional<std::string> inlineValue;
            if (const auto equals = name.find('='); equals != std::string::npos) {
                inlineValue = name.substr(equals + 1);
                name = name.substr(0, equals);
            }
            const auto spec = std::find_if(options.begin(), options.end(), [&](const OptionSpec& o) { return o.name == name; });
            if (spec == options.end()) throw UsageError("Unknown option --" + name + ".");
            if (!spec->takesValue) {
                if (inlineValue) throw UsageError("--" + name + " takes no value.");
                flags_.insert(name);
                continue;
            }
            if (inlineValue) {
                values_[name] = *inlineValue;
            } else if (i + 1 < arguments.size()) {
                values_[name] = arguments[++i];
            } else {
                throw UsageError("--" + name + " needs a value (" + spec->valueName + ").");
            }
            continue;
        }
        if (argument == "-o") {
            const auto spec = std::find_if(options.begin(), options.end(), [](const OptionSpec& o) { return o.name == "output"; });
            if (spec == options.end()) throw UsageError("Unknown option -o.");
            if (i + 1 >= arguments.size()) throw UsageError("-o needs a value (" + spec->valueName + ").");
            values_["output"] = arguments[++i];
            continue;
        }
        positionals_.push_back(argument);
    }
    if (help_) return;
    if (positionals_.size() < minimumPositionals) throw UsageError("Missing arguments.");
    if (positionals_.size() > maximumPositionals) throw UsageError("Unexpected argument '" + positionals_.back() + "'.");
}

std::optional<std::string> CommandLine::value(const std::string& name) const {
    const auto found = values_.find(name);
    if (found == values_.end()) return std::nullopt;
    return found->second;
}

std::string CommandLine::value(const std::string& name, const std::string& fallback) const {
    return value(name).value_or(fallback);
}

double CommandLine::number(const std::string& name, double fallback) const {
    const auto text = value(name);
    if (!text) return fallback;
    char* end = nullptr;
    const double parsed = std::strtod(text->c_str(), &end);
    if (text->empty() || *end != '\0' || !std::isfinite(parsed)) {
        throw UsageError("--" + name + " must be a number, not '" + *text + "'.");
    }
    return parsed;
}

std::string CommandLine::describe(const std::vector<OptionSpec>& options) {
    std::string text;
    for (const auto& option : options) {
        std::string left = "  --" + option.name + (option.takesValue ? " " + option.valueName : "");
        if (option.name == "output") left = "  -o, --output " + option.valueName;
        if (left.size() < 28) left.resize(28, ' ');
        else left += "  ";
        text += left + option.help + "\n";
    }
    return text;
}

}  // namespace halvex::client
