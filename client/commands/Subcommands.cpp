#include "client/commands/Subcommands.h"

#include <iostream>

namespace halvex::client {

const std::vector<Subcommand>& subcommands() {
    static const std::vector<Subcommand> table{
        {"sources", "list the windows and displays that can be recorded", &runSourcesCommand},
        {"thumbnail", "save a JPEG still of one source", &runThumbnailCommand},
        {"record", "record a source, mark and end trades from the keyboard", &runRecordCommand},
        {"export", "join a trade manifest's segments into one MP4 clip", &runExportCommand},
        {"raw", "send request lines from standard input, print every response and event", &runRawCommand},
        {"ocr", "print the text lines the chart reader's recogniser reads in an image file", &runOcrCommand},
        {"demo", "record the demo chart (on a private Xvfb when there is no display), trade, export", &runDemoCommand},
    };
    return table;
}

void reportError(const std::string& subcommand, const std::string& message) {
    std::cerr << "halvexctl " << subcommand << ": " << message << std::endl;
}

}  // namespace halvex::client
