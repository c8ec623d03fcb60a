#include "cli/VolumeSelection.h"

#include "partition/FileSystemId.h"
#include "partition/Partition.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstring>
#include <iostream>
#include <unistd.h>
#include <vector>

namespace velmora::cli {

const char* const kSelectionHelp =
    "Choosing the volume (without a choice, a SOURCE that starts with a file system is read whole):\n"
    "  --volume ID          the partition with that VOLUME number in `velmora-cli partitions SOURCE`\n"
    "  --gpt                read the GPT for --volume (a disk whose MBR only protects a GPT is read so anyway)\n"
    "  --start-sector N     a volume at 512-byte sector N, given by hand, with\n"
    "  --fs NAME            its file system (ntfs)\n"
    "  --size-mb M          and its size in MiB (otherwise the file system's own, or up to the end)\n";

namespace {

bool parseInt(const std::string& text, int64_t& out) {
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno || !end || *end)
        return false;
    out = v;
    return true;
}

std::atomic<bool>* gInterruptFlag = nullptr;

void onInterrupt(int) {
    if (gInterruptFlag)
        gInterruptFlag->store(true);
}

int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

bool takeSelectionOption(const Args& args, size_t& i, VolumeSelection& sel, std::string& err) {
    const std::string& a = args[i];
    auto value = [&](std::string& out) {
        if (i + 1 >= args.size()) {
            err = a + " needs a value";
            return false;
        }
        out = args[++i];
        return true;
    };
    std::string v;
    if (a == "--gpt") {
        sel.gpt = true;
        return true;
    }
    if (a == "--volume") {
        if (value(v))
            sel.volumeId = v;
        return true;
    }
    if (a == "--fs") {
        if (value(v))
            sel.fsName = v;
        return true;
    }
    if (a == "--start-sector" || a == "--size-mb") {
        int64_t n = 0;
        if (!value(v))
            return true;
        if (!parseInt(v, n) || n < 0) {
            err = a + " needs a number, not '" + v + "'";
            return true;
        }
        (a == "--start-sector" ? sel.startSector : sel.sizeMb) = n;
        return true;
    }
    return false;
}

int resolveVolume(const std::string& source, const VolumeSelection& sel, FileReadSeek& reader, VolumeInfo& volume) {
    if (sel.volumeId && (sel.startSector || !sel.fsName.empty() || sel.sizeMb))
        return usageError("--volume and --start-sector/--fs/--size-mb exclude each other");
    if ((sel.startSector || sel.sizeMb) && sel.fsName.empty())
        return usageError("--start-sector needs --fs NAME");
    if (!reader.open(source)) {
        error("cannot open " + source + ": " + std::strerror(reader.lastError));
        return kSourceError;
    }
    reader.baseOffset = 0;
    if (sel.volumeId) {
        bool gpt = sel.gpt || Partition::hasProtectiveMbrOnly(reader);
        for (const VolumeInfo& v : Partition::listVolumes(reader, gpt)) {
            if (v.volumeId == *sel.volumeId) {
                volume = v;
                reader.baseOffset = volume.startSector * kSectorSize;
                return kOk;
            }
        }
        return usageError("no volume " + *sel.volumeId + " on " + source + " (see velmora-cli partitions " + source + ")");
    }
    if (!sel.fsName.empty()) {
        volume = VolumeInfo{};
        volume.fsName = sel.fsName;
        volume.startSector = sel.startSector.value_or(0);
        volume.volumeId = "0";
        if (sel.sizeMb)
            volume.sizeText = std::to_string(*sel.sizeMb) + "   MB";
        if (volume.startSector > INT64_MAX / kSectorSize)
            return usageError("--start-sector is too large");
        reader.baseOffset = volume.startSector * kSectorSize;
        return kOk;
    }
    FileSystemId id = identifyFileSystemAt(reader, 0);
    if (!id.recognised())
        return usageError(source + " does not start with a known file system; choose a volume with --volume ID "
                          "(see velmora-cli partitions " + source + ") or give it with --start-sector N --fs NAME");
    volume = VolumeInfo{};
    volume.fsName = id.name();
    volume.volumeId = "0";
    volume.sizeText = std::to_string(id.sizeBytes >> 20) + "   MB";
    return kOk;
}

std::unique_ptr<fs::VolumeParser> makeParser(const VolumeInfo& volume, readWriteInterface& reader,
                                             ProgressSink* progress, UserDialogs* dialogs,
                                             const fs::ParserKind** kindOut) {
    std::string name = volume.fsName;
    name.erase(0, name.find_first_not_of(' '));
    const fs::ParserKind* kind = fs::findParserKind(name);
    if (kindOut)
        *kindOut = kind;
    if (!kind)
        return nullptr;
    fs::ParserContext context;
    context.reader = &reader;
    context.volume = volume;
    context.progress = progress;
    context.dialogs = dialogs;
    return kind->create(context);
}

int openAndScan(const char* command, const std::string& source, const VolumeSelection& selection,
                ScannedVolume& out) {
    if (int rc = resolveVolume(source, selection, out.reader, out.volume); rc != kOk)
        return rc;
    out.parser = makeParser(out.volume, out.reader, &out.progress, &out.dialogs, &out.kind);
    if (!out.parser)
        return usageError(std::string(command) + ": the file system '" + out.volume.fsName + "' cannot be read yet");
    stopOnInterrupt(&out.parser->stopFlag());
    bool ok = out.parser->scan();
    out.progress.finish();
    if (!ok) {
        error("the volume cannot be read as " + out.volume.fsName);
        return kSourceError;
    }
    return kOk;
}

void stopOnInterrupt(std::atomic<bool>* flag) {
    gInterruptFlag = flag;
    struct sigaction sa {};
    sa.sa_handler = flag ? onInterrupt : SIG_DFL;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

void StderrDialogs::showMessage(const std::string& text, Icon) { std::cerr << "velmora-cli: " << text << "\n"; }

bool StderrDialogs::askYesNo(const std::string& text, Icon) {
    std::cerr << "velmora-cli: " << text << " (answered no)\n";
    return false;
}

TerminalProgress::TerminalProgress() : enabled_(::isatty(2) == 1) {}

TerminalProgress::~TerminalProgress() { finish(); }

void TerminalProgress::setRange(int64_t low, int64_t high) {
    low_ = low;
    high_ = high;
    position_ = low;
    draw(false);
}

void TerminalProgress::setPosition(int64_t position) {
    position_ = position;
    draw(false);
}

void TerminalProgress::setStatus(const std::string& text) {
    status_ = text;
    draw(false);
}

void TerminalProgress::draw(bool force) {
    if (!enabled_)
        return;
    int64_t now = nowNs();
    if (!force && drawn_ && now - lastDrawNs_ < 100'000'000)
        return;
    lastDrawNs_ = now;
    drawn_ = true;
    constexpr int kWidth = 30;
    double frac = high_ > low_ ? double(std::clamp(position_, low_, high_) - low_) / double(high_ - low_) : 0.0;
    int fill = int(frac * kWidth);
    std::string bar = "\r[" + std::string(size_t(fill), '#') + std::string(size_t(kWidth - fill), ' ') + "] ";
    char pct[16];
    std::snprintf(pct, sizeof pct, "%3d%% ", int(frac * 100));
    std::string status = status_.size() > 60 ? status_.substr(0, 57) + "..." : status_;
    std::cerr << bar << pct << status << "\x1b[K" << std::flush;
}

void TerminalProgress::finish() {
    if (enabled_ && drawn_) {
        std::cerr << "\r\x1b[K" << std::flush;
        drawn_ = false;
    }
}

} // namespace velmora::cli
