// The small interfaces through which engines (parsers, scans, savers) talk to whatever runs
// them: the GUI, the command line or a test. Engines never see a widget.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

// Progress range, position and the one-line status text of a page.
class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    virtual void setRange(int64_t low, int64_t high) = 0;
    virtual void setPosition(int64_t position) = 0;
    virtual void setStatus(const std::string& text) = 0;
};

// Swallows everything; for callers that do not care.
class NullProgress final : public ProgressSink {
public:
    void setRange(int64_t, int64_t) override {}
    void setPosition(int64_t) override {}
    void setStatus(const std::string&) override {}
};

// Cooperative pause: workers call wait() at every progress report and stop-flag poll.
// Pauses nest: two pause() calls need two resume() calls before the worker goes on.
class PauseGate {
public:
    void pause() {
        std::lock_guard lock(mutex_);
        ++depth_;
    }
    void resume() {
        {
            std::lock_guard lock(mutex_);
            if (depth_ > 0)
                --depth_;
        }
        changed_.notify_all();
    }
    // Ends every pause at once, however many were made (a run is over).
    void resumeAll() {
        {
            std::lock_guard lock(mutex_);
            depth_ = 0;
        }
        changed_.notify_all();
    }
    bool paused() const {
        std::lock_guard lock(mutex_);
        return depth_ > 0;
    }
    // Blocks while paused; returns at once when `stop` becomes true (after a resume or a
    // release()), so a stopped worker is never left hanging.
    void wait(const std::atomic<bool>* stop = nullptr) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return depth_ == 0 || released_ || (stop && stop->load()); });
    }
    // Lets every waiter go for good (page closing).
    void release() {
        {
            std::lock_guard lock(mutex_);
            released_ = true;
        }
        changed_.notify_all();
    }
    void wake() { changed_.notify_all(); }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    int depth_ = 0;
    bool released_ = false;
};

// Messages, questions, file and folder choices, URLs. The GUI runs these on its own thread
// and waits for the answer; tests answer from a script.
class UserDialogs {
public:
    enum class Icon { Information, Question, Warning, Error };
    virtual ~UserDialogs() = default;
    virtual void showMessage(const std::string& text, Icon icon = Icon::Information) = 0;
    // true for Yes.
    virtual bool askYesNo(const std::string& text, Icon icon = Icon::Question) = 0;
    virtual std::optional<std::filesystem::path> chooseFolder(const std::string& title) = 0;
    virtual std::optional<std::filesystem::path> chooseOpenFile(const std::string& title,
                                                                const std::string& filter) = 0;
    virtual std::optional<std::filesystem::path> chooseSaveFile(const std::string& title,
                                                                const std::string& filter) = 0;
    virtual void openUrl(const std::string& url) = 0;
};

// Records messages and answers from a queue; for tests and for the command line.
class ScriptedDialogs final : public UserDialogs {
public:
    std::vector<std::string> messages;   // every text shown or asked, in order
    std::vector<std::string> urls;
    std::vector<bool> answers;           // answers to askYesNo, consumed from the front
    bool defaultAnswer = false;
    std::optional<std::filesystem::path> folder;
    std::optional<std::filesystem::path> file;

    void showMessage(const std::string& text, Icon) override {
        std::lock_guard lock(mutex_);
        messages.push_back(text);
    }
    bool askYesNo(const std::string& text, Icon) override {
        std::lock_guard lock(mutex_);
        messages.push_back(text);
        if (answers.empty())
            return defaultAnswer;
        bool a = answers.front();
        answers.erase(answers.begin());
        return a;
    }
    std::optional<std::filesystem::path> chooseFolder(const std::string&) override { return folder; }
    std::optional<std::filesystem::path> chooseOpenFile(const std::string&, const std::string&) override {
        return file;
    }
    std::optional<std::filesystem::path> chooseSaveFile(const std::string&, const std::string&) override {
        return file;
    }
    void openUrl(const std::string& url) override {
        std::lock_guard lock(mutex_);
        urls.push_back(url);
    }

private:
    std::mutex mutex_;
};

} // namespace velmora
