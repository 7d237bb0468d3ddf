#pragma once

#include <string>
#include <vector>

#include "client/commands/ClientContext.h"

namespace halvex::client {

// One subcommand of halvexctl; each lives in its own <Name>Command.cpp.
struct Subcommand {
    const char* name;
    const char* summary;
    SubcommandMain run;
};

int runSourcesCommand(ClientContext& context, const std::vector<std::string>& arguments);
int runThumbnailCommand(ClientContext& context, const std::vector<std::string>& arguments);
int runRecordCommand(ClientContext& context, const std::vector<std::string>& arguments);
int runExportCommand(ClientContext& context, const std::vector<std::string>& arguments);
int runRawCommand(ClientContext& context, const std::vector<std::string>& arguments);
int runOcrCommand(ClientContext& context, const std::vector<std::string>& arguments);
int runDemoCommand(ClientContext& context, const std::vector<std::string>& arguments);

// Every subcommand, in the order `halvexctl --help` lists them.
const std::vector<Subcommand>& subcommands();

// Prints "halvexctl NAME: MESSAGE" to standard error.
void reportError(const std::string& subcommand, const std::string& message);

}  // namespace halvex::client
