// The update job's screen on the console: each call of the job's thread is posted, in order, to
// the event loop's thread, where the line of units handles it.
#pragma once

#include "jobs/update_screen.h"

#include <QObject>

#include <functional>

struct ScreenEvents {
    std::function<void(int width)> progress;
    std::function<void(const std::string& line)> log;
    std::function<void(bool done)> ended;  // the done or the failed screen
    std::function<void(JobStep step)> step;
};

class ConsoleScreen final : public UpdateScreen {
public:
    // The events run on context's thread; none runs once context is gone.
    ConsoleScreen(QObject& context, ScreenEvents events) : context_(context), events_(std::move(events)) {}

    void setProgress(int width) override;
    void log(const std::string& line) override;
    void showFailed() override;
    void showDone() override;
    // The window's button caption, buttons and timer have no counterpart on the console.
    void setStartUpdateCaption(const std::string&) override {}
    void enableJobButtons() override {}
    void stopRunTimer() override {}
    void enteredStep(JobStep step) override;
    // Nobody is asked on a console: the user is told how to name the drive instead.
    std::shared_ptr<DiskAnswer> askAboutUpdateDisk(const std::string& drive, const std::string& question) override;

private:
    void post(std::function<void()> call);

    QObject& context_;
    ScreenEvents events_;
};
