#include "fs/common/TreeWalk.h"
#include "fs/common/OutputNames.h"

#include <unistd.h>
#include <unordered_set>

namespace velmora::fs {

namespace {

// Deeper than any real volume; only damaged links get here.
constexpr size_t kMaxDepth = 2048;

struct Frame {
    std::vector<EntryRef> pending;  // children still to visit, in reverse order
};

std::vector<std::string> splitPath(const std::string& text) {
    std::vector<std::string> parts;
    std::string cur;
    for (char c : text) {
        if (c == '/') {
            if (!cur.empty())
                parts.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty())
        parts.push_back(cur);
    return parts;
}

// A PATH argument names an entry by its name as recorded or as the listing shows it.
bool sameName(const std::string& name, const std::string& wanted) {
    return name == wanted || listedName(name) == wanted;
}

bool startsWith(const std::vector<std::string>& path, const std::vector<std::string>& prefix) {
    if (prefix.size() > path.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (!sameName(path[i], prefix[i]))
            return false;
    return true;
}

struct PlanItem {
    std::vector<EntryRef> chain;       // refs from below ROOT down to the entry
    std::vector<std::string> path;
    bool directory = false;
    uint64_t size = 0;
};

} // namespace

std::string joinPath(const std::vector<std::string>& parts) {
    std::string out;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i)
            out += '/';
        out += parts[i];
    }
    return out;
}

// Walks with the chain of refs as well, which the recovery needs to tell apart folders of
// the same name.
static void walkWithChain(VolumeParser& parser,
                          const std::function<bool(const WalkItem&, const std::vector<EntryRef>&)>& visit) {
    std::unordered_set<EntryRef> entered;
    std::vector<Frame> stack;
    std::vector<WalkItem> items;  // the item of each open level (parallel to stack, minus the top)
    std::vector<EntryRef> chain;

    Frame top;
    auto first = parser.topLevel();
    top.pending.assign(first.rbegin(), first.rend());
    stack.push_back(std::move(top));

    while (!stack.empty()) {
        Frame& f = stack.back();
        if (f.pending.empty()) {
            stack.pop_back();
            if (!items.empty()) {
                items.pop_back();
                chain.pop_back();
            }
            continue;
        }
        EntryRef ref = f.pending.back();
        f.pending.pop_back();

        WalkItem item;
        item.ref = ref;
        item.description = parser.describe(ref);
        if (!items.empty())
            item.path = items.back().path;
        item.path.push_back(item.description.name);
        chain.push_back(ref);
        bool go = visit(item, chain);
        if (!go)
            return;
        bool enter = item.description.directory && stack.size() < kMaxDepth && entered.insert(ref).second;
        if (!enter) {
            chain.pop_back();
            continue;
        }
        auto kids = parser.children(ref);
        Frame next;
        next.pending.assign(kids.rbegin(), kids.rend());
        items.push_back(std::move(item));
        stack.push_back(std::move(next));
    }
}

void walkTree(VolumeParser& parser, const std::function<bool(const WalkItem&)>& visit) {
    walkWithChain(parser, [&](const WalkItem& item, const std::vector<EntryRef>&) { return visit(item); });
}

bool setMatchPattern(RecoverOptions& options, const std::string& pattern, std::string* error) {
    try {
        options.match = std::regex(pattern, std::regex::ECMAScript | std::regex::icase);
        options.useMatch = true;
        return true;
    } catch (const std::regex_error& e) {
        if (error)
            *error = e.what();
        return false;
    }
}

RecoverSummary recoverTree(VolumeParser& parser, const OutputFolder& out, const RecoverOptions& options,
                           RecoverObserver* observer, const std::atomic<bool>* stop) {
    RecoverSummary summary;
    std::vector<std::vector<std::string>> wanted;
    for (const auto& p : options.paths)
        wanted.push_back(splitPath(p));
    std::vector<bool> wantedSeen(wanted.size(), false);

    // First the plan, so that the progress range is known before anything is written.
    std::vector<PlanItem> plan;
    uint64_t totalFiles = 0;
    walkWithChain(parser, [&](const WalkItem& item, const std::vector<EntryRef>& chain) {
        if (stop && stop->load())
            return false;
        const EntryDescription& d = item.description;
        bool selected = wanted.empty();
        for (size_t i = 0; i < wanted.size(); ++i) {
            if (item.path.size() == wanted[i].size() && startsWith(item.path, wanted[i]))
                wantedSeen[i] = true;
            if (startsWith(item.path, wanted[i]))
                selected = true;
        }
        if (!selected || (options.skipDeleted && d.deleted))
            return true;
        if (d.directory) {
            // Folders are made on the way to the files they hold; a folder chosen as a whole
            // (not through a name pattern) is made even when it ends up empty.
            if (!options.useMatch)
                plan.push_back({chain, item.path, true, 0});
            return true;
        }
        if (options.useMatch && !std::regex_search(d.name, options.match))
            return true;
        if (options.neverWrite && options.neverWrite(d))
            return true;
        plan.push_back({chain, item.path, false, d.size});
        ++totalFiles;
        return true;
    });
    for (size_t i = 0; i < wanted.size(); ++i)
        if (!wantedSeen[i])
            summary.unmatchedPaths.push_back(options.paths[i]);

    if (observer)
        observer->started(totalFiles);

    // Open output folders along the current chain; entries of the chain are tree refs, so two
    // folders of the same name are entered one after the other into the same output folder.
    struct Level {
        EntryRef ref;
        OutputFolder folder;
    };
    std::vector<Level> open;
    uint64_t done = 0;
    for (const PlanItem& p : plan) {
        if (stop && stop->load())
            break;
        size_t dirDepth = p.directory ? p.chain.size() : p.chain.size() - 1;
        size_t keep = 0;
        while (keep < open.size() && keep < dirDepth && open[keep].ref == p.chain[keep])
            ++keep;
        open.resize(keep);
        bool ok = true;
        std::string why;
        while (open.size() < dirDepth) {
            const OutputFolder& parent = open.empty() ? out : open.back().folder;
            auto sub = parent.subFolder(trimWhitespace(p.path[open.size()]), &why);
            if (!sub) {
                ok = false;
                break;
            }
            open.push_back({p.chain[open.size()], std::move(*sub)});
        }
        std::string shown = joinPath(p.path);
        if (!ok) {
            if (!p.directory) {
                ++summary.failures;
                if (observer)
                    observer->failed(shown, why);
            }
            continue;
        }
        if (p.directory)
            continue;

        if (observer)
            observer->fileStarted(shown, p.size);
        const OutputFolder& dir = open.empty() ? out : open.back().folder;
        std::string used;
        int fd = dir.createNewFile(trimWhitespace(p.path.back()), &used, &why);
        if (fd < 0) {
            ++summary.failures;
            if (observer)
                observer->failed(shown, why);
            continue;
        }
        SaveOutcome r = parser.saveContent(fd, p.chain.back());
        if (::close(fd) != 0 && r.ok) {
            r.ok = false;
            r.error = "close failed";
        }
        ++done;
        if (r.ok) {
            ++summary.files;
            summary.bytes += r.bytes;
            summary.unreadableBytes += r.unreadableBytes;
        } else {
            ++summary.failures;
            if (observer)
                observer->failed(shown, r.error);
        }
        if (observer)
            observer->fileDone(done, r);
    }
    return summary;
}

} // namespace velmora::fs
