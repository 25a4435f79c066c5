// What the update job tests share: a screen that records what the job asks of it, a fresh bus
// folder for the drives and the stop tool, and image data files of a given size.
#pragma once

#include "jobs/update_screen.h"

#include <atomic>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace lumaro::test {

// Every change as one line: "progress 40", "log <line>", "failed", "done", "caption <text>",
// "buttons", "timer off".
class RecordingScreen final : public UpdateScreen {
public:
    void setProgress(int width) override {
        add("progress " + std::to_string(width));
        if (onProgress) onProgress(width);
    }
    void log(const std::string& line) override { add("log " + line); }
    void showFailed() override { add("failed"); }
    void showDone() override { add("done"); }
    void setStartUpdateCaption(const std::string& caption) override { add("caption " + caption); }
    void enableJobButtons() override { add("buttons"); }
    void stopRunTimer() override { add("timer off"); }

    std::vector<std::string> changes() const {
        std::lock_guard lock(mutex_);
        return changes_;
    }
    std::vector<int> widths() const;
    std::vector<std::string> logLines() const;
    bool has(const std::string& change) const;
    std::function<void(int width)> onProgress;  // called on the job's thread
    void clear() {
        std::lock_guard lock(mutex_);
        changes_.clear();
    }

private:
    void add(std::string change) {
        std::lock_guard lock(mutex_);
        changes_.push_back(std::move(change));
    }
    mutable std::mutex mutex_;
    std::vector<std::string> changes_;
};

// A folder with bytes of a recognisable pattern and the firmware file beside it.
struct JobFiles {
    JobFiles();
    ~JobFiles();
    JobFiles(const JobFiles&) = delete;
    JobFiles& operator=(const JobFiles&) = delete;

    // Writes the image data file with size bytes (byte i is i * 7 mod 251) and returns its path
    // (UTF-8, as the program carries paths).
    std::string image(std::size_t size) const;
    std::filesystem::path dir;
    std::string firmware;  // UTF-8 path of a small firmware file
    std::string firmwareContents = "new firmware build 1.0.4";
};

}  // namespace lumaro::test
