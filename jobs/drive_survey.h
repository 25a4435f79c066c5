// The present drives as the finish of a stranded update looks at them, gathered on a thread of their
// own: the front ends look once a second while a stranded record exists, and a drive that is slow to
// answer (a USB disk that hangs, a system busy mounting) must hold up neither the window nor the
// console's deadlines and Ctrl+C.
#pragma once

#include "update_disk_rule.h"
#include "update_history.h"

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct DriveSurvey {
    std::vector<DriveFacts> drives;  // GetDriveFacts()
    // Each drive that may be an update disk (removable, holding a firmware file) as a person knows it
    // (describeDriveForPerson): the question about it is asked without looking at the drive again.
    std::map<std::string, std::string> described;

    // The description of drive, or its name where it has none.
    std::string describe(const std::string& drive) const;
};

// The stranded updates whose disks a survey looks for.
using StrandedUpdates = std::vector<UpdateHistory::Stranded>;

// Looks at the drives now, on the calling thread, first making the disks of the stranded updates
// drives where the system does not mount them by itself (update_disk_reach.h).
DriveSurvey surveyDrives(const StrandedUpdates& stranded = {});

// Surveys on a thread of their own, one at a time. A survey that does not end is left to itself: it
// delays no caller beyond its wait, and no later survey begins beside it.
class BackgroundDriveSurvey {
public:
    using Survey = std::function<DriveSurvey(const StrandedUpdates&)>;

    explicit BackgroundDriveSurvey(Survey survey = surveyDrives);
    // Waits a little for a survey under way (it ends in moments unless a drive hangs), then leaves it.
    ~BackgroundDriveSurvey();
    BackgroundDriveSurvey(const BackgroundDriveSurvey&) = delete;
    BackgroundDriveSurvey& operator=(const BackgroundDriveSurvey&) = delete;

    // How the surveys begun from now on look (tests: a drive that does not answer).
    void setSurvey(Survey survey);

    // The survey that ended since the last call, if any. Begins a survey when none is under way or
    // waiting to be handed out, and waits for it at most waitFor; a survey begun by an earlier call
    // is not waited for. A survey that ends late is handed out at a later call: its drives are judged
    // again before anything is written to one.
    std::optional<DriveSurvey> latest(std::chrono::milliseconds waitFor, const StrandedUpdates& stranded);

private:
    struct Shared;
    std::shared_ptr<Shared> shared_;
    Survey survey_;
};
