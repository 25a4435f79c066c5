// The update screen as the update job sees it: every change is posted to the window's thread,
// queued behind the ones before it, and the job does not wait for it.
#pragma once

#include "jobs/update_screen.h"

class TMainForm;

class FormUpdateScreen final : public UpdateScreen {
public:
    explicit FormUpdateScreen(TMainForm& form) : form_(form) {}

    void setProgress(int width) override;
    void log(const std::string& line) override;
    void showFailed() override;
    void showDone() override;
    void setStartUpdateCaption(const std::string& caption) override;
    void enableJobButtons() override;
    void stopRunTimer() override;
    // The question in a message box on the window's thread; No unless the person says Yes.
    std::shared_ptr<DiskAnswer> askAboutUpdateDisk(const std::string& drive, const std::string& question) override;

private:
    TMainForm& form_;
};
