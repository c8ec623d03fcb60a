// Shared pieces of the velmora-cli commands.
#pragma once

#include <string>
#include <vector>

namespace velmora::cli {

// kIncomplete: the command ran but did not get everything it was asked for (recover: a file
// failed, a PATH named nothing, or the run was stopped), so scripts never mistake it for success.
enum ExitCode { kOk = 0, kSourceError = 1, kUsageError = 2, kIncomplete = 3 };

using Args = std::vector<std::string>;

struct Command {
    const char* name;
    const char* summary;
    int (*run)(const Args& args);  // args after the command name
};

// Every command, in the order `--help` lists them.
const std::vector<Command>& commands();

// One clear line on stderr: "velmora-cli: <text>".
void error(const std::string& text);
int usageError(const std::string& text);  // prints and returns kUsageError

// JSON string literal of UTF-8 text.
std::string jsonString(const std::string& text);

bool wantsHelp(const Args& args);

// Commands (one file each).
int cmdPartitions(const Args& args);
int cmdDrives(const Args& args);

} // namespace velmora::cli
