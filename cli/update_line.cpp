#include "update_line.h"

#include "console_screen.h"

#include "jobs/file_sha256.h"
#include "jobs/image_records.h"
#include "jobs/job_record.h"
#include "jobs/updatethread.h"
#include "link/job_busy.h"
#include "link/usb.h"
#include "platform/machine/arch.h"
#include "platform/hid/hid_watch.h"
#include "platform/core/utf8_path.h"

#include <QSysInfo>

#include <filesystem>

namespace {

std::uintmax_t recordsOf(const std::string& path)
{
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    return error ? 0 : imageRecordCount(size);
}

}  // namespace

UpdateLine::UpdateLine(CommandOptions options, LineSetup setup, std::string appFolder, ConsoleReport& report,
                       QObject* parent)
    : QObject(parent),
      options_(std::move(options)),
      setup_(std::move(setup)),
      appFolder_(std::move(appFolder)),
      report_(report),
      // As the window decides it: anything but a 32-bit x86 machine takes the 64-bit stop tool.
      is64BitWindows_(platform::processorArchitecture() != "x86")
{
    // Where the window keeps its update history, each unit leaves its row there too.
    const std::string recordFolder = appFolder_ + "Record/";
    std::error_code error;
    if (std::filesystem::is_directory(platform::utf8Path(recordFolder), error))
        history_ = std::make_unique<UpdateHistory>(recordFolder);
    waitLimit_.setSingleShot(true);
    waitLimit_.setTimerType(Qt::PreciseTimer);
    connect(&waitLimit_, &QTimer::timeout, this, [this] {
        if (state_ != State::WaitingForUnit) return;
        if (units_ > 0) return finish(codeForUnits());
        report_.error("Error: no known controller was plugged in within " + std::to_string(*options_.waitSeconds) +
                      " s: check its USB cable and power, then run lumaro-update again.");
        finish(kExitNoController);
    });
    comeBackLimit_.setSingleShot(true);
    comeBackLimit_.setInterval(kComeBackMs);
    connect(&comeBackLimit_, &QTimer::timeout, this, &UpdateLine::checkUnplugged);
}

UpdateLine::~UpdateLine()
{
    thread_.reset();  // a running job is stopped and waited for
    Close_HidDevice();
}

void UpdateLine::start()
{
    watcher_ = new platform::HidWatcher(this);
    connect(watcher_, &platform::HidWatcher::interfaceArrived, this, &UpdateLine::deviceChanged);
    connect(watcher_, &platform::HidWatcher::interfaceRemoved, this, &UpdateLine::deviceChanged);
    if (startUnit()) return;
    if (!options_.wait && !options_.repeat) {
        report_.error("Error: no known controller is connected: plug one in (or run lumaro-update --wait to wait "
                      "for it), then run lumaro-update again.");
        return finish(kExitNoController);
    }
    if (!watcher_->isWatching())
        report_.error("Warning: plugged-in controllers cannot be seen as they arrive: run lumaro-update again "
                      "once the controller is connected.");
    waitForUnit();
}

void UpdateLine::deviceChanged()
{
    if (state_ == State::WaitingForUnit) {
        startUnit();
    } else if (state_ == State::WaitingForUnplug) {
        checkUnplugged();
    }
}

// The window's detection: the first model of the table whose interface is present.
std::optional<std::size_t> UpdateLine::presentModel() const
{
    for (std::size_t i = 0; i < setup_.models.size(); ++i)
        if (Find_HidDevice(setup_.models[i].vidPid)) return i;
    return std::nullopt;
}

bool UpdateLine::startUnit()
{
    const std::optional<std::size_t> found = presentModel();
    if (!found) return false;
    waitLimit_.stop();
    const DeviceModel& model = setup_.models[*found];
    Open_HidDevice();
    const ControllerLink& link = controllerLink();
    if (link.writeOpenError == platform::kErrorReportLength || link.readOpenError == platform::kErrorReportLength)
        report_.step("Open USB device fail: " + platform::describe(platform::kErrorReportLength));

    unit_ = UnitFacts{model.modelName, model.vidPid, setup_.firmwarePath, fileSha256(setup_.firmwarePath).value_or(""),
                      setup_.imagePath, fileSha256(setup_.imagePath).value_or(""), recordsOf(setup_.imagePath)};
    lastError_.clear();
    interruptAsked_ = false;
    ++units_;
    state_ = State::Updating;
    report_.unitStarted(unit_);
    unitClock_.start();

    jobBusy = false;  // the job claims it as it starts
    const bool bootBoard = model.chipType == "47J53";
    ScreenEvents events{
        [this](int width) {
            if (state_ == State::Updating) report_.progress(width);
        },
        [this](const std::string& line) {
            if (state_ != State::Updating) return;
            if (line.starts_with("Error -> ")) lastError_ = line.substr(9);
            report_.step(line);
        },
        [this, bootBoard](bool done) {
            if (state_ != State::Updating) return;
            if (done) return unitEnded({UnitResult::Done, unitSeconds(), {}});
            const std::string error = !lastError_.empty() ? lastError_
                                      : bootBoard ? std::string("a 47J53 board is not updated by lumaro-update")
                                                  : std::string("the update failed");
            unitEnded({UnitResult::Failed, unitSeconds(), error});
        }};
    UpdateJobInput input{model.chipType, setup_.firmwarePath, setup_.imagePath, is64BitWindows_};
    std::unique_ptr<UpdateScreen> screen = std::make_unique<ConsoleScreen>(*this, std::move(events));
    if (history_) {
        HistoryEntry known;
        known.job = "update";
        known.modelName = model.modelName;
        known.vidPid = model.vidPid;
        known.chipType = model.chipType;
        known.firmwarePath = setup_.firmwarePath;
        known.imagePath = setup_.imagePath;
        known.programVersion = LUMARO_PROGRAM_VERSION;
        known.computerName = QSysInfo::machineHostName().toStdString();
        screen = std::make_unique<RecordingUpdateScreen>(std::move(screen), history_.get(), std::move(known));
    }
    thread_ = std::make_unique<UpdateThread>(std::move(input), controllerLink(), std::move(screen));
    thread_->start(QThread::NormalPriority);
    return true;
}

void UpdateLine::waitForUnit()
{
    state_ = State::WaitingForUnit;
    report_.waiting(options_.waitSeconds);
    if (options_.waitSeconds) waitLimit_.start(*options_.waitSeconds * 1000);
    startUnit();  // one plugged in between the last look and the watcher's start
}

void UpdateLine::unitEnded(UnitEnd end)
{
    // The job has nothing left to do on the controller: its closing wait is cut short.
    thread_.reset();
    Close_HidDevice();
    report_.unitEnded(unit_, end);
    if (end.result != UnitResult::Done) {
        ++failedUnits_;
        report_.error("Error: " + unit_.model + " was not updated (" + end.error +
                      "): check its USB cable and power, then update it again.");
    }
    if (!options_.repeat) return finish(codeForUnits());
    state_ = State::WaitingForUnplug;
    // Only a unit that is done restarts; one that failed is there or gone for good.
    unitSeenBack_ = end.result != UnitResult::Done;
    if (!unitSeenBack_) comeBackLimit_.start();
    report_.unplugPrompt();
    checkUnplugged();
}

void UpdateLine::checkUnplugged()
{
    if (state_ != State::WaitingForUnplug) return;
    if (presentModel()) {
        unitSeenBack_ = true;
        return;
    }
    if (!unitSeenBack_ && comeBackLimit_.isActive()) return;
    comeBackLimit_.stop();
    waitForUnit();
}

void UpdateLine::interrupt()
{
    if (state_ == State::Finished) return;
    if (state_ != State::Updating) {
        // Nothing is being written: the run ends at once, judged by the units it did.
        if (units_ == 0) report_.error("Stopped by Ctrl+C before any controller was updated.");
        return finish(units_ == 0 ? kExitInterrupted : codeForUnits());
    }
    if (!interruptAsked_) {
        interruptAsked_ = true;
        report_.error("The update is running: stopping it now may leave the controller unusable until it is "
                      "updated again. Press Ctrl+C again to stop it anyway.");
        return;
    }
    thread_.reset();  // clears jobBusy, the job's stop signal, and waits for its thread
    Close_HidDevice();
    ++failedUnits_;
    report_.unitEnded(unit_, {UnitResult::Interrupted, unitSeconds(), "stopped by Ctrl+C"});
    report_.error("Error: the update of " + unit_.model + " was stopped: the controller may not work until it is "
                  "updated again: run lumaro-update on it again.");
    finish(kExitInterrupted);
}

void UpdateLine::finish(int exitCode)
{
    state_ = State::Finished;
    waitLimit_.stop();
    comeBackLimit_.stop();
    emit finished(exitCode);
}
