#include "drive_survey.h"

#include "removedisk.h"
#include "update_disk_reach.h"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

constexpr std::chrono::milliseconds kLeaveSurveyAfter{500};

}  // namespace

std::string DriveSurvey::describe(const std::string& drive) const
{
    const auto found = described.find(drive);
    return found != described.end() ? found->second : drive;
}

DriveSurvey surveyDrives(const StrandedUpdates& stranded)
{
    reachStrandedUpdateDisks(stranded);
    DriveSurvey survey{GetDriveFacts(), {}};
    for (const DriveFacts& drive : survey.drives)
        if (drive.removable && (drive.holdsOldFirmware || drive.holdsNewFirmware))
            survey.described[drive.drive] = describeDriveForPerson(drive.drive);
    return survey;
}

// Owned by the survey's thread as much as by the caller: a survey left to itself outlives its caller.
struct BackgroundDriveSurvey::Shared {
    std::mutex mutex;
    std::condition_variable ended;
    bool underWay = false;
    std::optional<DriveSurvey> found;
};

BackgroundDriveSurvey::BackgroundDriveSurvey(Survey survey) : shared_(std::make_shared<Shared>()), survey_(std::move(survey)) {}

BackgroundDriveSurvey::~BackgroundDriveSurvey()
{
    std::unique_lock lock(shared_->mutex);
    shared_->ended.wait_for(lock, kLeaveSurveyAfter, [&] { return !shared_->underWay; });
}

void BackgroundDriveSurvey::setSurvey(Survey survey) { survey_ = std::move(survey); }

std::optional<DriveSurvey> BackgroundDriveSurvey::latest(std::chrono::milliseconds waitFor, const StrandedUpdates& stranded)
{
    std::unique_lock lock(shared_->mutex);
    if (!shared_->underWay && !shared_->found) {
        shared_->underWay = true;
        std::thread([shared = shared_, survey = survey_, stranded] {
            DriveSurvey found = survey(stranded);
            const std::lock_guard hold(shared->mutex);
            shared->found = std::move(found);
            shared->underWay = false;
            shared->ended.notify_all();
        }).detach();
        shared_->ended.wait_for(lock, waitFor, [&] { return !shared_->underWay; });
    }
    std::optional<DriveSurvey> found = std::move(shared_->found);
    shared_->found.reset();
    return found;
}
