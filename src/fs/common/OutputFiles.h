// Writing recovered files strictly below a chosen folder: every level is opened relative to
// the one above without following symbolic links, and new files never replace existing ones.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace velmora::fs {

// A point in time as seconds and nanoseconds since 1970-01-01 UTC.
struct UnixTime {
    int64_t seconds = 0;
    uint32_t nanoseconds = 0;
};

// NTFS time (100 ns units since 1601-01-01 UTC); nullopt for 0, which means "not recorded".
std::optional<UnixTime> fromFileTime(uint64_t fileTime);
// "2024-05-01T12:34:56Z", with ".fffffffff" before the Z when there are nanoseconds.
std::string isoUtcText(const UnixTime& t);

// Access and modification times of an open file; an absent time is left as it is. Linux has
// no settable creation time, so none is taken.
bool setFileTimes(int fd, const std::optional<UnixTime>& access, const std::optional<UnixTime>& modification);
// The same for the entry `name` in the folder `dirFd` (utimensat, links not followed).
bool setFileTimesAt(int dirFd, const std::string& name, const std::optional<UnixTime>& access,
                    const std::optional<UnixTime>& modification);

// Writes all of `size` bytes at `offset`, retrying short writes.
bool writeAllAt(int fd, const void* data, size_t size, uint64_t offset);

class OutputFolder {
public:
    OutputFolder() = default;
    ~OutputFolder();
    OutputFolder(OutputFolder&& other) noexcept;
    OutputFolder& operator=(OutputFolder&& other) noexcept;
    OutputFolder(const OutputFolder&) = delete;
    OutputFolder& operator=(const OutputFolder&) = delete;

    // The folder the user chose, created (with its parents) when missing.
    static std::optional<OutputFolder> openRoot(const std::filesystem::path& dir, std::string* error = nullptr);

    // The sub-folder `name` (one component, already made safe), created when missing. A
    // name that exists as something other than a real folder is refused.
    std::optional<OutputFolder> subFolder(const std::string& name, std::string* error = nullptr) const;

    // Creates a file that did not exist before: `name`, else "name (2)", "name (3)" ...
    // Returns the open descriptor (write-only) or -1; `usedName` gets the name created.
    int createNewFile(const std::string& name, std::string* usedName, std::string* error = nullptr) const;

    int fd() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    const std::filesystem::path& path() const { return path_; }

private:
    OutputFolder(int fd, std::filesystem::path path) : fd_(fd), path_(std::move(path)) {}
    int fd_ = -1;
    std::filesystem::path path_;
};

} // namespace velmora::fs
