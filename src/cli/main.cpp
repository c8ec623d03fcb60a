#include "cli/Cli.h"

#include <cstdio>
#include <iostream>

namespace velmora::cli {

int cmdList(const Args& args);
int cmdRecover(const Args& args);

const std::vector<Command>& commands() {
    static const std::vector<Command> table = {
        {"partitions", "list the partitions of a disk or disk image", cmdPartitions},
        {"drives", "list physical drives and mounted volumes", cmdDrives},
        {"list", "list the files and folders of a volume, deleted ones included", cmdList},
        {"recover", "save files and folders of a volume below a folder", cmdRecover},
    };
    return table;
}

void error(const std::string& text) { std::cerr << "velmora-cli: " << text << "\n"; }

int usageError(const std::string& text) {
    error(text + " (see velmora-cli --help)");
    return kUsageError;
}

bool wantsHelp(const Args& args) {
    for (const auto& a : args)
        if (a == "--help" || a == "-h")
            return true;
    return false;
}

std::string jsonString(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += char(c);
            }
        }
    }
    return out + "\"";
}

} // namespace velmora::cli

int main(int argc, char** argv) {
    using namespace velmora::cli;
    Args args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        std::cout << "usage: velmora-cli COMMAND [ARGS] (every command takes --help)\n\n"
                     "Velmora reads disks, images and volumes strictly read-only.\n\ncommands:\n";
        for (const auto& c : commands())
            std::cout << "  " << c.name << std::string(12 - std::string(c.name).size(), ' ') << c.summary << "\n";
        return args.empty() ? kUsageError : kOk;
    }
    for (const auto& c : commands())
        if (args[0] == c.name)
            return c.run(Args(args.begin() + 1, args.end()));
    return usageError("unknown command '" + args[0] + "'");
}
