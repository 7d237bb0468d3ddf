#include <fstream>
#include <iostream>

#include "client/commands/SourceSelection.h"
#include "client/commands/Subcommands.h"
#include "client/session/Base64Decoding.h"
#include "core/sources/SourceCatalogListing.h"

namespace halvex::client {

int runThumbnailCommand(ClientContext& context, const std::vector<std::string>& arguments) {
    std::vector<OptionSpec> options{{"output", true, "FILE", "where the JPEG goes (required)"},
                                    {"max-width", true, "N", "widest image in pixels, 64-1920 (default 480)"}};
    const auto& shared = ClientContext::helperOptions();
    options.insert(options.end(), shared.begin(), shared.end());
    const CommandLine commandLine(arguments, options, 1, 1);
    if (commandLine.helpRequested()) {
        std::cout << "Usage: halvexctl thumbnail SOURCE -o FILE.jpg [--max-width N]\n\nSOURCE is an id from "
                     "`halvexctl sources` (window:123) or part of a window title or application name.\n\n"
                  << CommandLine::describe(options);
        return 0;
    }
    const auto output = commandLine.value("output");
    if (!output) throw UsageError("Say where the JPEG goes with -o FILE.");
    auto session = context.startHelper(commandLine, {}, "/dev/null");
    SourceSelection selection;
    const std::string& source = commandLine.positionals().front();
    if (isListedSourceId(source)) {
        selection = splitListedSourceId(source);
    } else {
        selection = selectSource(source, sourceCatalogListingFromJSON(session->request("listSources")));
    }
    Payload payload;
    payload.values["sourceType"] = selection.sourceType;
    payload.values["sourceId"] = selection.sourceId;
    if (commandLine.value("max-width")) payload.values["maxWidth"] = commandLine.number("max-width", 480);
    const auto result = session->request("sourceThumbnail", payload);
    shutDownHelper(context, *session);
    const auto bytes = base64Decoded(result.at("jpegBase64").get<std::string>());
    if (!bytes) throw std::runtime_error("The helper's image is not valid Base64.");
    std::ofstream file(*output, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes->data()), static_cast<std::streamsize>(bytes->size()));
    file.close();
    if (!file) throw std::runtime_error("Cannot write " + *output + ".");
    std::cout << "Wrote " << *output << " (" << bytes->size() << " bytes) from " << result.at("sourceId").get<std::string>()
              << "\n";
    return 0;
}

}  // namespace halvex::client
