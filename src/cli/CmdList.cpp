#include "cli/Cli.h"
#include "cli/VolumeSelection.h"

#include "fs/common/OutputNames.h"
#include "fs/common/TreeWalk.h"

#include <iostream>

namespace velmora::cli {

namespace {

const char* kListHelp =
    "usage: velmora-cli list SOURCE [VOLUME CHOICE] [--json]\n"
    "Lists every file and folder of a volume that is reachable from ROOT, deleted ones included,\n"
    "in tree order: path below ROOT (\"/\"-separated; entries whose folder is lost are below\n"
    "ORPHAN_ENTRY), d or f, \"deleted\" or \"-\", size, creation, access and modification time,\n"
    "attribute letters, tab-separated; control characters and \"/\" inside a name are shown as\n"
    "\\xNN (recover takes a PATH in either form). --json gives one object per entry with raw\n"
    "values (bytes, ISO 8601 UTC times, deleted true/false). SOURCE is opened read-only.\n";

std::string jsonTime(const std::optional<fs::UnixTime>& t) { return t ? jsonString(fs::isoUtcText(*t)) : "null"; }

} // namespace

int cmdList(const Args& args) {
    if (wantsHelp(args)) {
        std::cout << kListHelp << "\n" << kSelectionHelp;
        return kOk;
    }
    std::string source;
    bool json = false;
    VolumeSelection selection;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string err;
        if (takeSelectionOption(args, i, selection, err)) {
            if (!err.empty())
                return usageError("list: " + err);
        } else if (args[i] == "--json") {
            json = true;
        } else if (!args[i].empty() && args[i][0] == '-') {
            return usageError("list: unknown option '" + args[i] + "'");
        } else if (source.empty()) {
            source = args[i];
        } else {
            return usageError("list: more than one SOURCE given");
        }
    }
    if (source.empty())
        return usageError("list: SOURCE is missing");

    ScannedVolume scanned;
    if (int rc = openAndScan("list", source, selection, scanned); rc != kOk)
        return rc;
    auto& parser = scanned.parser;
    fs::walkTree(*parser, [&](const fs::WalkItem& w) {
        if (parser->stopFlag())
            return false;
        const fs::EntryDescription& d = w.description;
        std::string path = fs::joinPath(w.path);
        if (json) {
            std::cout << "{\"path\":" << jsonString(path) << ",\"type\":\"" << (d.directory ? 'd' : 'f')
                      << "\",\"deleted\":" << (d.deleted ? "true" : "false") << ",\"size\":" << d.size
                      << ",\"created\":" << jsonTime(d.creation) << ",\"accessed\":" << jsonTime(d.access)
                      << ",\"modified\":" << jsonTime(d.modification)
                      << ",\"attributes\":" << jsonString(d.attributeText) << "}\n";
        } else {
            std::vector<std::string> shown;
            for (const std::string& part : w.path)
                shown.push_back(fs::listedName(part));
            std::cout << fs::joinPath(shown) << '\t' << (d.directory ? 'd' : 'f') << '\t' << (d.deleted ? "deleted" : "-") << '\t'
                      << d.sizeText << '\t' << d.creationText << '\t' << d.accessText << '\t' << d.modificationText
                      << '\t' << d.attributeText << '\n';
        }
        return bool(std::cout);
    });
    stopOnInterrupt(nullptr);
    std::cout.flush();
    return kOk;
}

} // namespace velmora::cli
