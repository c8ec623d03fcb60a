#include "scan/TreeSaver.h"

#include "fs/common/OutputNames.h"

#include <unistd.h>
#include <unordered_set>

namespace velmora::scan {

struct TreeSaver::Run {
    const SaveRequest& request;
    fs::OutputFolder destination;
    SaveReport report;
    uint64_t fileCounter = 0;
    std::unordered_set<fs::EntryRef> entered;  // folders of the current dump, against link cycles

    bool stopped() const { return request.stop && request.stop->load(); }
    void gate() {
        if (request.pause)
            request.pause->wait(request.stop);
    }
    void status(const std::string& text) {
        if (request.progress)
            request.progress->setStatus(text);
    }
    void sizeLine(const std::string& text) {
        if (request.observer)
            request.observer->sizeLine(text);
    }
    void range(int64_t lo, int64_t hi) {
        if (request.progress)
            request.progress->setRange(lo, hi);
    }
    void position(int64_t pos) {
        if (request.progress)
            request.progress->setPosition(pos);
        gate();
    }
    void failed(const std::string& path, const std::string& why) {
        ++report.failures;
        if (request.observer)
            request.observer->failed(path, why);
    }
};

SaveReport TreeSaver::saveCheckedItems(const SaveRequest& request) {
    std::string why;
    auto dest = fs::OutputFolder::openRoot(request.destination, &why);
    if (!dest) {
        SaveReport r;
        r.failures = 1;
        if (request.observer)
            request.observer->failed(request.destination.string(), why);
        return r;
    }
    Run run{request, std::move(*dest), {}, 0, {}};
    CXHtmlTree& tree = browser_.tree();
    TreeItem root = browser_.root();
    if (root == kTreeRoot)
        return run.report;
    for (TreeItem child : tree.children(root)) {
        if (run.stopped())
            break;
        visit(run, child);
    }
    return run.report;
}

void TreeSaver::visit(Run& run, TreeItem item) {
    CXHtmlTree& tree = browser_.tree();
    TreeItem first = tree.firstChild(item);
    if (first != kTreeRoot) {
        if (tree.isChecked(item) && tree.itemText(first) == kDummyItemText) {
            dumpFolder(run, item);
            return;
        }
        for (TreeItem child : tree.children(item)) {
            if (run.stopped())
                return;
            if (child != first || tree.itemText(first) != kDummyItemText)
                visit(run, child);
        }
        return;
    }
    if (tree.isChecked(item))
        saveTreeFile(run, item);
}

// The folders above `item` (below the root item), created below the destination when missing.
// A level that cannot be created is left out, so its contents land one level higher. An
// empty result stands for the destination itself.
std::optional<fs::OutputFolder> TreeSaver::mirrorFolders(Run& run, TreeItem item) {
    CXHtmlTree& tree = browser_.tree();
    std::vector<std::string> names;
    for (TreeItem p = tree.parentItem(item); p != kTreeRoot && p != browser_.root(); p = tree.parentItem(p)) {
        names.push_back(fs::safeName(fs::trimWhitespace(tree.itemText(p))));
        if (names.size() > kMaxDepth)
            break;
    }
    std::optional<fs::OutputFolder> at;
    for (auto it = names.rbegin(); it != names.rend(); ++it) {
        const fs::OutputFolder& parent = at ? *at : run.destination;
        std::string why;
        if (auto sub = parent.subFolder(*it, &why))
            at = std::move(sub);
    }
    return at;  // empty: the destination itself
}

void TreeSaver::writeFile(Run& run, fs::EntryRef ref, const fs::EntryDescription& d, const fs::OutputFolder& into) {
    const ParserRules& rules = browser_.rules();
    if (rules.neverWriteFromTree && rules.neverWriteFromTree(d))
        return;
    std::string name = fs::trimWhitespace(d.name);
    std::string shown = (into.path() / fs::safeName(name)).string();
    run.status("saving File  " + shown);
    run.sizeLine("File size: " + std::to_string(int32_t(d.size / 1024)) + " kb");
    if (run.request.skipDeleted && d.deleted && rules.deletedCanBeSkipped) {
        ++run.report.skippedDeleted;
        run.sizeLine("");
        return;
    }
    std::string used, why;
    int fd = into.createNewFile(name, &used, &why);
    if (fd < 0) {
        run.failed(shown, why);
        run.sizeLine("");
        return;
    }
    fs::SaveOutcome r = browser_.parser().saveContent(fd, ref);
    if (::close(fd) != 0 && r.ok) {
        r.ok = false;
        r.error = "the file could not be closed";
    }
    if (r.ok) {
        ++run.report.files;
        run.report.bytes += r.bytes;
        run.report.unreadableBytes += r.unreadableBytes;
    } else {
        run.failed(shown, r.error);
    }
    run.sizeLine("");
}

void TreeSaver::saveTreeFile(Run& run, TreeItem item) {
    auto ref = browser_.entryOf(item);
    if (!ref)
        return;
    auto mirrored = mirrorFolders(run, item);
    const fs::OutputFolder& folder = mirrored ? *mirrored : run.destination;
    fs::EntryDescription d = browser_.parser().describe(*ref);
    if (d.directory) {
        // A ticked folder without children: made as an empty folder, never written as a file.
        if (!(run.request.skipDeleted && d.deleted && browser_.rules().deletedCanBeSkipped))
            folder.subFolder(fs::safeName(fs::trimWhitespace(d.name)), nullptr);
        return;
    }
    writeFile(run, *ref, d, folder);
}

uint64_t TreeSaver::countFiles(Run& run, fs::EntryRef top) {
    fs::VolumeParser& parser = browser_.parser();
    uint64_t count = 0;
    std::unordered_set<fs::EntryRef> seen{top};
    std::vector<std::pair<fs::EntryRef, size_t>> stack{{top, 0}};
    while (!stack.empty() && !run.stopped()) {
        auto [ref, depth] = stack.back();
        stack.pop_back();
        for (fs::EntryRef child : parser.children(ref)) {
            fs::EntryDescription d = parser.describe(child);
            if (!d.directory)
                ++count;
            else if (depth + 1 < kMaxDepth && seen.insert(child).second)
                stack.push_back({child, depth + 1});
        }
    }
    return count;
}

void TreeSaver::dumpEntry(Run& run, fs::EntryRef folder, const fs::OutputFolder& into, size_t depth) {
    fs::VolumeParser& parser = browser_.parser();
    for (fs::EntryRef child : parser.children(folder)) {
        if (run.stopped())
            return;
        run.position(int64_t(run.fileCounter));
        fs::EntryDescription d = parser.describe(child);
        if (d.directory) {
            if (depth + 1 >= kMaxDepth || !run.entered.insert(child).second)
                continue;
            std::string name = fs::trimWhitespace(d.name);
            if (name.empty()) {
                dumpEntry(run, child, into, depth + 1);
                continue;
            }
            std::string why;
            auto sub = into.subFolder(fs::safeName(name), &why);
            if (!sub) {
                run.failed((into.path() / fs::safeName(name)).string(), why);
                continue;
            }
            dumpEntry(run, child, *sub, depth + 1);
            continue;
        }
        ++run.fileCounter;
        writeFile(run, child, d, into);
    }
}

void TreeSaver::dumpFolder(Run& run, TreeItem item) {
    auto ref = browser_.entryOf(item);
    if (!ref)
        return;
    auto mirrored = mirrorFolders(run, item);
    const fs::OutputFolder& parent = mirrored ? *mirrored : run.destination;
    fs::EntryDescription d = browser_.parser().describe(*ref);
    std::string why;
    auto folder = parent.subFolder(fs::safeName(fs::trimWhitespace(d.name)), &why);
    if (!folder) {
        run.failed((parent.path() / fs::safeName(d.name)).string(), why);
        return;
    }
    if (!d.directory)
        return;
    uint64_t count = countFiles(run, *ref);
    run.range(0, int64_t(count));
    run.fileCounter = 0;
    run.entered = {*ref};
    dumpEntry(run, *ref, *folder, 0);
    run.position(int64_t(count));
}

} // namespace velmora::scan
