#include "cli/Cli.h"
#include "cli/VolumeSelection.h"

#include "fs/common/TreeWalk.h"

#include <iostream>

namespace velmora::cli {

namespace {

const char* kRecoverHelp =
    "usage: velmora-cli recover SOURCE [VOLUME CHOICE] --out DIR [--skip-deleted] [--match REGEX] [PATH...]\n"
    "Saves the files of a volume below DIR the way the Save button does: the folders that lead\n"
    "to each file are recreated, top-level files go directly into DIR, and each file gets the\n"
    "access and modification times the volume records. Without PATH the whole tree is saved;\n"
    "each PATH (below ROOT, \"/\"-separated, as `velmora-cli list` shows it) saves that file or\n"
    "folder. --match saves only files whose name matches the regular expression (ECMAScript,\n"
    "case-insensitive, found anywhere in the name). Deleted entries are saved too unless\n"
    "--skip-deleted is given. Existing files are never replaced: a second file for the same\n"
    "path gets \" (2)\", \" (3)\" before its extension. Nothing is written outside DIR, and\n"
    "SOURCE is only read. Ends with a summary line; exit code 1 when the volume cannot be read\n"
    "as its file system, 2 on bad arguments, 3 when some file could not be saved, a PATH named\n"
    "nothing or the run was stopped, 0 when everything asked for was saved.\n";

class BarObserver final : public fs::RecoverObserver {
public:
    explicit BarObserver(TerminalProgress& bar) : bar_(bar) {}
    void started(uint64_t total) override { bar_.setRange(0, int64_t(total)); }
    void fileStarted(const std::string& path, uint64_t) override { bar_.setStatus(path); }
    void fileDone(uint64_t done, const fs::SaveOutcome&) override { bar_.setPosition(int64_t(done)); }
    void failed(const std::string& path, const std::string& why) override {
        bar_.finish();
        std::cerr << "velmora-cli: " << path << ": " << why << "\n";
    }

private:
    TerminalProgress& bar_;
};

} // namespace

int cmdRecover(const Args& args) {
    if (wantsHelp(args)) {
        std::cout << kRecoverHelp << "\n" << kSelectionHelp;
        return kOk;
    }
    std::string source, out;
    VolumeSelection selection;
    fs::RecoverOptions options;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string err;
        const std::string& a = args[i];
        if (takeSelectionOption(args, i, selection, err)) {
            if (!err.empty())
                return usageError("recover: " + err);
        } else if (a == "--out" || a == "--match") {
            if (i + 1 >= args.size())
                return usageError("recover: " + a + " needs a value");
            const std::string& v = args[++i];
            if (a == "--out") {
                out = v;
            } else if (std::string why; !fs::setMatchPattern(options, v, &why)) {
                return usageError("recover: bad --match pattern '" + v + "': " + why);
            }
        } else if (a == "--skip-deleted") {
            options.skipDeleted = true;
        } else if (a == "--") {
            for (++i; i < args.size(); ++i)
                (source.empty() ? source : options.paths.emplace_back()) = args[i];
        } else if (!a.empty() && a[0] == '-') {
            return usageError("recover: unknown option '" + a + "'");
        } else if (source.empty()) {
            source = a;
        } else {
            options.paths.push_back(a);
        }
    }
    if (source.empty())
        return usageError("recover: SOURCE is missing");
    if (out.empty())
        return usageError("recover: --out DIR is missing");

    // The output folder first: a folder that cannot be made is known before a long scan.
    std::string why;
    auto root = fs::OutputFolder::openRoot(out, &why);
    if (!root) {
        error(why);
        return kUsageError;
    }
    ScannedVolume scanned;
    if (int rc = openAndScan("recover", source, selection, scanned); rc != kOk)
        return rc;
    auto& parser = scanned.parser;
    auto& progress = scanned.progress;
    options.neverWrite = scanned.kind->rules.neverWriteFromTree;
    BarObserver observer(progress);
    fs::RecoverSummary sum = fs::recoverTree(*parser, *root, options, &observer, &parser->stopFlag());
    progress.finish();
    stopOnInterrupt(nullptr);
    for (const auto& p : sum.unmatchedPaths)
        std::cerr << "velmora-cli: no entry at " << p << "\n";
    std::cout << "recovered " << sum.files << " files, " << sum.bytes << " bytes, "
              << sum.failures + sum.unmatchedPaths.size() << " failures";
    if (sum.unreadableBytes)
        std::cout << ", " << sum.unreadableBytes << " unreadable bytes written as zeros";
    bool stopped = parser->stopFlag();
    if (stopped)
        std::cout << " (stopped)";
    std::cout << "\n";
    return sum.failures || !sum.unmatchedPaths.empty() || stopped ? kIncomplete : kOk;
}

} // namespace velmora::cli
