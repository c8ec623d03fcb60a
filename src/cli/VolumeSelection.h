// Choosing the volume of a SOURCE for the commands that read a file system (list, recover),
// and making the parser for it. The commands themselves know no file system.
#pragma once

#include "cli/Cli.h"
#include "disk/readWriteInterface.h"
#include "fs/common/VolumeParser.h"
#include "fs/registry/ParserRegistry.h"
#include "host/Host.h"
#include "partition/VolumeInfo.h"

#include <atomic>
#include <memory>
#include <optional>
#include <string>

namespace velmora::cli {

struct VolumeSelection {
    std::optional<std::string> volumeId;  // --volume ID: a row of the partition scan
    std::optional<int64_t> startSector;   // --start-sector N (with --fs, optionally --size-mb)
    std::string fsName;                   // --fs NAME
    std::optional<int64_t> sizeMb;        // --size-mb M
    bool gpt = false;                     // --gpt: read the GPT for --volume
};

// Options shared by every volume command, for their --help texts.
extern const char* const kSelectionHelp;

// When args[i] is a selection option, consumes it (and its value) and returns true; on a bad
// value `error` is set.
bool takeSelectionOption(const Args& args, size_t& i, VolumeSelection& selection, std::string& error);

// Opens SOURCE read-only and decides the volume: the chosen partition, the volume given by
// hand, or the SOURCE itself when it starts with a file system. Returns kOk, or the exit code
// after printing why.
int resolveVolume(const std::string& source, const VolumeSelection& selection, FileReadSeek& reader,
                  VolumeInfo& volume);

// Host services of a command line run: messages on stderr, progress as a bar on stderr
// when that is a terminal.
class StderrDialogs final : public UserDialogs {
public:
    void showMessage(const std::string& text, Icon) override;
    bool askYesNo(const std::string& text, Icon) override;
    std::optional<std::filesystem::path> chooseFolder(const std::string&) override { return std::nullopt; }
    std::optional<std::filesystem::path> chooseOpenFile(const std::string&, const std::string&) override {
        return std::nullopt;
    }
    std::optional<std::filesystem::path> chooseSaveFile(const std::string&, const std::string&) override {
        return std::nullopt;
    }
    void openUrl(const std::string&) override {}
};

class TerminalProgress final : public ProgressSink {
public:
    TerminalProgress();
    ~TerminalProgress() override;
    void setRange(int64_t low, int64_t high) override;
    void setPosition(int64_t position) override;
    void setStatus(const std::string& text) override;
    // Ends the bar's line, if one is shown.
    void finish();
    bool shown() const { return enabled_; }

private:
    void draw(bool force);
    bool enabled_ = false;
    int64_t low_ = 0, high_ = 0, position_ = 0;
    std::string status_;
    int64_t lastDrawNs_ = 0;
    bool drawn_ = false;
};

// A parser for the volume's file system, reading through `reader` (whose baseOffset is set to
// the volume's start). Null when the file system is not supported.
std::unique_ptr<fs::VolumeParser> makeParser(const VolumeInfo& volume, readWriteInterface& reader,
                                             ProgressSink* progress, UserDialogs* dialogs,
                                             const fs::ParserKind** kind = nullptr);

// A volume opened, its parser made and its scan run: what list and recover start from.
struct ScannedVolume {
    FileReadSeek reader;
    VolumeInfo volume;
    TerminalProgress progress;
    StderrDialogs dialogs;
    std::unique_ptr<fs::VolumeParser> parser;
    const fs::ParserKind* kind = nullptr;  // the file system's row, with its save rules
};

// Resolves the volume of SOURCE, makes its parser and scans it, with Ctrl-C stopping the
// scan. Returns kOk, or the exit code after printing why (`command` names the command).
int openAndScan(const char* command, const std::string& source, const VolumeSelection& selection,
                ScannedVolume& out);

// Ctrl-C asks the running scan or save to stop instead of killing the process.
void stopOnInterrupt(std::atomic<bool>* flag);

} // namespace velmora::cli
