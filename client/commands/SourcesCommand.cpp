#include <iomanip>
#include <iostream>
#include <sstream>

#include "client/commands/Subcommands.h"
#include "core/sources/SourceCatalogListing.h"
#include "core/support/JSONEncoding.h"

namespace halvex::client {
namespace {

std::vector<OptionSpec> sourcesOptions() {
    std::vector<OptionSpec> options{{"json", false, "", "print the helper's listing as JSON instead of a table"}};
    const auto& shared = ClientContext::helperOptions();
    options.insert(options.end(), shared.begin(), shared.end());
    return options;
}

std::string clipped(const std::string& text, std::size_t width) {
    return text.size() <= width ? text : text.substr(0, width - 1) + "~";
}

}  // namespace

int runSourcesCommand(ClientContext& context, const std::vector<std::string>& arguments) {
    const auto options = sourcesOptions();
    const CommandLine commandLine(arguments, options, 0, 0);
    if (commandLine.helpRequested()) {
        std::cout << "Usage: halvexctl sources [--json]\n\nLists what the helper can record. Use an ID as the SOURCE "
                     "of `thumbnail` and `record`.\n\n"
                  << CommandLine::describe(options);
        return 0;
    }
    auto session = context.startHelper(commandLine, {}, "/dev/null");
    const auto result = session->request("listSources");
    shutDownHelper(context, *session);
    if (commandLine.flag("json")) {
        std::cout << halvexEncodePretty(result) << "\n";
        return 0;
    }
    const auto listing = sourceCatalogListingFromJSON(result);
    std::cout << std::left << std::setw(20) << "ID" << std::setw(12) << "SIZE" << std::setw(20) << "APPLICATION"
              << "NAME\n";
    for (const auto& source : listing.sources) {
        std::ostringstream size;
        size << source.width << "x" << source.height;
        std::cout << std::setw(20) << source.id << std::setw(12) << size.str() << std::setw(20)
                  << clipped(source.appName, 19) << source.name << (source.isOnScreen ? "" : "  (hidden)") << "\n";
    }
    if (listing.sources.empty()) std::cout << "(no sources)\n";
    if (listing.warning) std::cout << "warning: " << *listing.warning << "\n";
    return 0;
}

}  // namespace halvex::client
