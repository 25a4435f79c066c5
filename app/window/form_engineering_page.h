// The engineering page as the erase and reset jobs see it: every change is posted to the window's
// thread, in order, and the job does not wait for it.
#pragma once

#include "jobs/engineering_page.h"

class TMainForm;

class FormEngineeringPage final : public EngineeringPage {
public:
    explicit FormEngineeringPage(TMainForm& form) : form_(form) {}

    void log(const std::string& line) override;
    void enableEraseButton() override;
    void enableResetButton() override;

private:
    TMainForm& form_;
};
