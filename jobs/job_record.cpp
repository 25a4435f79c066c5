#include "job_record.h"

#include "file_sha256.h"
#include "image_records.h"

#include "platform/core/utf8_path.h"

#include <filesystem>
#include <set>

namespace {

// The job records that exist now, for the system's end (syncRunningJobRecordsNow).
struct LiveRecords {
    std::mutex mutex;
    std::set<JobRecord*> records;
};

LiveRecords& liveRecords() {
    static LiveRecords live;
    return live;
}

bool isFailureLine(const std::string& line) {
    return line.starts_with("Error ->") || line.find(" fail") != std::string::npos;
}

}  // namespace

JobRecord::JobRecord(UpdateHistory* history, HistoryEntry known, std::function<void(const std::string&)> log,
                     JobRecordFiles files)
    : history_(history), entry_(std::move(known)), log_(std::move(log)), files_(std::move(files)) {
    const std::lock_guard lock(liveRecords().mutex);
    liveRecords().records.insert(this);
}

JobRecord::~JobRecord() {
    const std::lock_guard lock(liveRecords().mutex);
    liveRecords().records.erase(this);
}

void syncRunningJobRecordsNow() {
    const std::lock_guard lock(liveRecords().mutex);
    for (JobRecord* record : liveRecords().records) record->syncMarkerNow();
}

void JobRecord::begin() {
    const std::lock_guard lock(mutex_);
    if (begun_ || !history_) return;
    begun_ = true;
    startTime_ = std::chrono::steady_clock::now();
    entry_.started = historyTimeNow();
    if (!entry_.firmwarePath.empty()) entry_.firmwareSha256 = fileSha256(entry_.firmwarePath).value_or("");
    if (!entry_.imagePath.empty()) {
        entry_.imageSha256 = fileSha256(entry_.imagePath).value_or("");
        std::error_code error;
        const std::uintmax_t size = std::filesystem::file_size(platform::utf8Path(entry_.imagePath), error);
        if (!error) entry_.imageRecords = static_cast<std::int64_t>(imageRecordCount(size));
    }
    if (!files_.held()) files_ = JobRecordFiles::create(history_->folder());
    // Not waited onto the disk: the system writes it within seconds anyway, and each wait costs a
    // job a fraction of a millisecond. The switch's marker, which a finish needs, is waited for.
    writeMarker(false);
}

// Once a marker was waited onto the disk, every later one is too: a marker put in its place without
// waiting could be left empty by a power cut, and the stranded update it names lost.
void JobRecord::writeMarker(bool sync) {
    markerSynced_ = markerSynced_ || sync;
    entry_.ended = historyTimeNow();
    entry_.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - startTime_).count();
    files_.writeMarker(markerText(entry_), markerSynced_);
}

void JobRecord::syncMarkerNow() {
    const std::lock_guard lock(mutex_);
    if (begun_ && !ended_) writeMarker(true);
}

void JobRecord::enterStep(JobStep step) {
    const std::lock_guard lock(mutex_);
    if (!begun_ || ended_ || entry_.step == step) return;
    entry_.step = step;
    // From the bootloader switch on, a power cut would strand the controller: the next start must
    // find this marker to finish the update.
    writeMarker(leavesControllerInBootloader(step));
}

void JobRecord::noteDiskIdentity(const std::string& identity) {
    const std::lock_guard lock(mutex_);
    if (!begun_ || ended_ || entry_.diskIdentity == identity) return;
    entry_.diskIdentity = identity;
    writeMarker(true);
}

void JobRecord::noteError(const std::string& line) {
    const std::lock_guard lock(mutex_);
    if (entry_.error.empty()) entry_.error = line;
}

void JobRecord::end(const std::string& result) {
    std::optional<std::string> problem;
    {
        const std::lock_guard lock(mutex_);
        if (!begun_ || ended_) return;
        ended_ = true;
        entry_.result = result;
        entry_.ended = historyTimeNow();
        entry_.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - startTime_).count();
        problem = history_->problemToTell(history_->append(entry_));
        if (result == "done") {
            files_.removeMarker();
            files_.removeStranded();
        } else if (leftStrandedUpdate(entry_)) {
            files_.strand(markerText(entry_));
        } else {
            files_.removeMarker();
        }
        files_.release();
    }
    if (problem && log_) log_("The update history could not be written: " + *problem);
}

void JobRecord::noteSignatures(const std::string& summary) {
    const std::lock_guard lock(mutex_);
    if (!ended_) entry_.signatures = summary;
}

bool JobRecord::errorNoted() const {
    const std::lock_guard lock(mutex_);
    return !entry_.error.empty();
}

RecordingUpdateScreen::RecordingUpdateScreen(std::unique_ptr<UpdateScreen> screen, UpdateHistory* history,
                                             HistoryEntry known, JobStep doneStep, JobRecordFiles files)
    : screen_(std::move(screen)),
      record_(history, std::move(known), [screen = screen_.get()](const std::string& line) { screen->log(line); },
              std::move(files)),
      doneStep_(doneStep) {}

RecordingUpdateScreen::~RecordingUpdateScreen() { record_.end("stopped"); }

void RecordingUpdateScreen::setProgress(int width) {
    record_.begin();
    screen_->setProgress(width);
}

void RecordingUpdateScreen::log(const std::string& line) {
    record_.begin();
    if (line.starts_with("Error ->")) record_.noteError(line);
    screen_->log(line);
}

// The row is written before the end shows: whoever sees the end finds it in the history.
void RecordingUpdateScreen::showFailed() {
    record_.begin();
    record_.end("failed");
    screen_->showFailed();
}

void RecordingUpdateScreen::showDone() {
    record_.begin();
    if (doneStep_ != JobStep::None) record_.enterStep(doneStep_);
    record_.end("done");
    screen_->showDone();
}

void RecordingUpdateScreen::setStartUpdateCaption(const std::string& caption) {
    record_.begin();
    screen_->setStartUpdateCaption(caption);
}

void RecordingUpdateScreen::enableJobButtons() {
    record_.begin();
    screen_->enableJobButtons();
}

void RecordingUpdateScreen::stopRunTimer() {
    record_.begin();
    screen_->stopRunTimer();
}

void RecordingUpdateScreen::enteredStep(JobStep step) {
    record_.begin();
    record_.enterStep(step);
    screen_->enteredStep(step);
}

void RecordingUpdateScreen::tookUpdateDisk(const std::string& identity) {
    record_.noteDiskIdentity(identity);
    screen_->tookUpdateDisk(identity);
}

void RecordingUpdateScreen::checkedSignatures(const std::string& summary) {
    record_.noteSignatures(summary);
    screen_->checkedSignatures(summary);
}

std::shared_ptr<DiskAnswer> RecordingUpdateScreen::askAboutUpdateDisk(const std::string& drive, const std::string& question) {
    return screen_->askAboutUpdateDisk(drive, question);
}

namespace {

HistoryEntry withFirstStep(HistoryEntry known) {
    known.step = known.chipType == "47J53" ? JobStep::LibraryCall : known.job == "erase" ? JobStep::Erase : JobStep::None;
    return known;
}

}  // namespace

RecordingEngineeringPage::RecordingEngineeringPage(std::unique_ptr<EngineeringPage> page, UpdateHistory* history,
                                                   HistoryEntry known)
    : page_(std::move(page)),
      record_(history, withFirstStep(std::move(known)), [page = page_.get()](const std::string& line) { page->log(line); }) {}

void RecordingEngineeringPage::log(const std::string& line) {
    record_.begin();
    if (isFailureLine(line)) record_.noteError(line);
    page_->log(line);
}

void RecordingEngineeringPage::enableEraseButton() {
    record_.begin();
    record_.end(record_.errorNoted() ? "failed" : "done");
    page_->enableEraseButton();
}

void RecordingEngineeringPage::enableResetButton() {
    record_.begin();
    record_.end(record_.errorNoted() ? "failed" : "done");
    page_->enableResetButton();
}
