// An in-memory volume for tests of the result tree and saving.
#pragma once

#include "fs/common/OutputFiles.h"
#include "fs/common/VolumeParser.h"

#include <atomic>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace velmora::test {

class FakeParser final : public fs::VolumeParser {
public:
    struct Node {
        std::string name;
        bool directory = false;
        bool deleted = false;
        std::string content;
        std::vector<fs::EntryRef> children;
    };
    std::map<fs::EntryRef, Node> nodes;
    std::vector<fs::EntryRef> top;
    std::vector<fs::EntryRef> saved;  // refs in the order they were written

    fs::EntryRef add(fs::EntryRef parent, const std::string& name, bool dir, std::string content = {},
                     bool deleted = false) {
        fs::EntryRef ref = fs::EntryRef(nodes.size()) + 10;
        nodes[ref] = {name, dir, deleted, std::move(content), {}};
        (parent < 0 ? top : nodes[parent].children).push_back(ref);
        return ref;
    }

    bool scan() override { return true; }
    std::vector<fs::EntryRef> topLevel() override { return top; }
    std::vector<fs::EntryRef> children(fs::EntryRef f) override { return nodes[f].children; }
    fs::EntryDescription describe(fs::EntryRef e) override {
        const Node& n = nodes[e];
        fs::EntryDescription d;
        d.name = n.name;
        d.directory = n.directory;
        d.deleted = n.deleted;
        d.size = n.content.size();
        d.sizeText = std::to_string(n.content.size()) + " Bytes";
        d.modification = fs::UnixTime{1700000000, 0};
        return d;
    }
    fs::SaveOutcome saveContent(int fd, fs::EntryRef e) override {
        saved.push_back(e);
        const Node& n = nodes[e];
        fs::SaveOutcome r;
        r.ok = fs::writeAllAt(fd, n.content.data(), n.content.size(), 0);
        r.bytes = n.content.size();
        fs::setFileTimes(fd, std::nullopt, fs::UnixTime{1700000000, 0});
        return r;
    }
    std::atomic<bool>& stopFlag() override { return stop; }
    std::atomic<bool> stop{false};
};

} // namespace velmora::test
