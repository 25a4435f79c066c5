// Every interrupted update is finished, on the right controller: lumaro-update, a real process,
// against the simulator, interrupted at each step of the update road by each fault that can meet
// it there; then the next run, which leaves the controller with all its image data and the new
// firmware, and the history telling both runs. A USB stick on another port, holding a
// firmware.bin of its own and sorting before the controller's disk, plugged in after each run
// began (so that it is a new drive to it), is never touched. Nor is anything that someone put in
// the history folder finished, followed or read.
// A Windows build runs the cells whose faults Wine can make (no Ctrl+C, no stand-in stop tool).
#include "sim_process.h"
#include "temporary_folder.h"
#include "update_run.h"

#ifdef _WIN32
#include "broker_connection_win.h"
#else
#include "private_logind.h"
#endif

#include <QCoreApplication>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <thread>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

using namespace lumaro::test;
namespace fs = std::filesystem;

enum class Step { Erase, ImageData, WaitingForDisk, Copy, StopDisk };
enum class Fault { Killed, CablePulled, Silent, CtrlCTwice, NoDisk, CopyRefused, StopRefused };
// How the next run leaves the controller updated: the whole update again (the controller was in
// its application), or the finish of the stranded update on the controller's disk.
enum class Next { WholeUpdate, Finish };

struct Case {
    const char* name;
    Step step;
    Fault fault;
    Next next;
    bool cameBack;  // the next run finds a stranded update's controller back in its application
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

constexpr std::size_t kRecordBytes = 54;
constexpr std::size_t kImageRecords = 1500;  // a few seconds at full speed: time to interrupt them
constexpr int kRunLimitMs = 90000;           // a run that fails waits out its time limits first
const std::string kStickFirmware = "the stick's own firmware.bin\n";

std::string contentsOf(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void writeFile(const fs::path& file, const std::string& text)
{
    std::ofstream(file, std::ios::binary) << text;
}

// The simulator runs on Linux: under Wine it is given files by their Linux paths.
std::string simPathOf(const fs::path& file)
{
#ifdef _WIN32
    return bustest::linuxPathOf(file.string());
#else
    return file.string();
#endif
}

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

#ifndef _WIN32
bool waitForFile(const fs::path& file, bool present, int limitMs)
{
    for (int waited = 0; fs::exists(file) != present; waited += 50) {
        if (waited >= limitMs) return false;
        sleepMs(50);
    }
    return true;
}

void writeScript(const fs::path& file, const std::string& body)
{
    writeFile(file, "#!/bin/sh\n" + body + "\n");
    fs::permissions(file, fs::perms::owner_all);
}

// A disk that takes a copy only when the test lets it: Upfirmware.bin a pipe, whose opening for
// writing waits for a reader.
void holdTheCopy(const fs::path& newFirmware) { ASSERT_EQ(::mkfifo(newFirmware.c_str(), 0666), 0); }

// The held copy goes on, as a slow disk's does in the end: the program writes the file, and reads
// back what it wrote from the pipe (its end comes when the test lets go of it) or, once the pipe
// has become a plain file, from the file.
void releaseTheCopy(const fs::path& newFirmware, const std::string& firmware)
{
    const int pipe = ::open(newFirmware.c_str(), O_RDWR | O_CLOEXEC);  // a reader and writer: no wait
    ASSERT_GE(pipe, 0);
    sleepMs(2000);  // its write ends before the last reader goes, so that it meets no broken pipe
    const fs::path file = newFirmware.string() + ".file";
    writeFile(file, firmware);
    fs::rename(file, newFirmware);
    ::close(pipe);
}
#endif

// A program folder of its own with a Record folder (so that lumaro-update keeps the history), a
// large image data file, and the simulator with the controller on port 1-4 and a stick (unplugged
// until a test plugs it in) on 2-1.
class UpdateBench : public ::testing::Test {
protected:
    void SetUp() override
    {
        const fs::path dist = kDistFolder.toStdString();
        fs::create_directories(program / "Record");
        fs::create_directories(program / "Firmware");
        fs::copy_file(dist / "DevInfo.DAT", program / "DevInfo.DAT");
        fs::copy_file(kLumaroUpdate.toStdString(), program / programName);
        fs::copy_file(dist / "Firmware/Tessaray_FW_1.0.3.bin", program / "Firmware/Tessaray_FW_1.0.4.bin");
        image.resize(kImageRecords * kRecordBytes);
        for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7 + i / kRecordBytes);
        writeFile(program / "Firmware/Tessaray_IMG_1.0.4.bin", std::string(image.begin(), image.end()));
        fs::create_directories(folder / "stick");
        writeFile(folder / "stick/firmware.bin", kStickFirmware);
    }
    void TearDown() override
    {
        sim.reset();
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }

    void startSim(const std::string& controllerKeys, const std::vector<std::string>& more = {})
    {
        std::vector<std::string> devices{"--controller", "ctl,port=1-4,disk-letter=F" + controllerKeys, "--stick",
                                         "E,unplugged,port=2-1,file=" + simPathOf(folder / "stick/firmware.bin")};
        devices.insert(devices.end(), more.begin(), more.end());
        sim.emplace(devices);
        sim->useBus();
        bus = sim->busDir();
        fs::copy_file(bus / "tools/S2", folder / "S2", fs::copy_options::overwrite_existing);
    }
    UpdateRun run(const QStringList& arguments)
    {
        return UpdateRun(arguments, folder, QString::fromStdString((program / programName).string()));
    }
    // The stick comes once the update has listed the drives there were before it: a new drive to
    // it, which only its port tells apart from the controller's disk.
    void plugTheStickInto(UpdateRun& started)
    {
        for (;;) {
            const auto step = started.nextEvent("step", 20000);
            ASSERT_TRUE(step) << started.readErrors(100);
            if (step->value("text").toString().startsWith("Get Update Disk String")) break;
        }
        EXPECT_EQ(sim->control("plug E"), "ok");
    }
    std::vector<std::string> historyRows() const
    {
        std::vector<std::string> rows;
        std::ifstream in(program / "Record/UpdateHistory.csv", std::ios::binary);
        for (std::string line; std::getline(in, line);) rows.push_back(line);
        if (!rows.empty()) rows.erase(rows.begin());  // the header
        return rows;
    }
    // A first run that ends by itself ends once, and never as done.
    void expectEndedNotDone(UpdateRun& first)
    {
        const int code = first.exitCode(kRunLimitMs);
        EXPECT_NE(code, -1) << "the first run did not end";
        EXPECT_NE(code, 0) << first.errors;
        const std::vector<QString> results = first.results();
        ASSERT_EQ(results.size(), 1u) << first.errors;
        EXPECT_NE(results.front(), "done");
        EXPECT_EQ(countEvents(*sim, "ctl", "firmware-updated"), 0) << "the controller took its firmware: " << first.errors;
    }
    // Whether the run said text: on standard error, in a step or in its result.
    static bool said(const UpdateRun& run, const QString& text)
    {
        return run.errors.find(text.toStdString()) != std::string::npos ||
               std::any_of(run.objects.begin(), run.objects.end(), [&](const QJsonObject& object) {
                   return object.value("text").toString().contains(text) || object.value("error").toString().contains(text);
               });
    }
    static std::string stepsOf(const UpdateRun& run)
    {
        std::string steps;
        for (const QJsonObject& object : run.objects) steps += object.value("text").toString().toStdString() + '\n';
        return steps;
    }
    void expectImageDataAndFirmwareArrived() const
    {
        EXPECT_TRUE(sim->waitForEvent("ctl", "firmware-updated"));
        std::vector<std::uint8_t> sent = image;  // the job always ends with one record of zeros past the file
        sent.resize((sent.size() / kRecordBytes + 1) * kRecordBytes, 0);
        EXPECT_EQ(sim->imageData("ctl"), sent);
    }
    // Nothing of the runs is left to finish, and the stick was not touched.
    void expectNothingLeftAndTheStickUntouched() const
    {
        std::set<std::string> left;
        for (const auto& file : fs::directory_iterator(program / "Record")) left.insert(file.path().filename().string());
        EXPECT_EQ(left, (std::set<std::string>{"UpdateHistory.csv", "UpdateHistory.write-lock"}));
        EXPECT_EQ(contentsOf(bus / "drives/E/firmware.bin"), kStickFirmware);
        EXPECT_FALSE(fs::exists(bus / "drives/E/Upfirmware.bin"));
    }

    fs::path folder = bustest::makeTemporaryFolder("interrupted-update-");
    fs::path program = folder / "program";
    fs::path programName = fs::path(kLumaroUpdate.toStdString()).filename();
    fs::path bus;
    std::vector<std::uint8_t> image;
    std::optional<SimProcess> sim;
#ifndef _WIN32
    PrivateLogind logind;
#endif
};

class InterruptedUpdate : public UpdateBench, public ::testing::WithParamInterface<Case> {};

std::string controllerKeysFor(const Case& c)
{
    // Cut while it waits for its disk, a controller must not have shown it yet.
    std::string keys = c.step == Step::WaitingForDisk && c.fault == Fault::CablePulled ? ",disk-ms=3000" : ",disk-ms=300";
    keys += c.step == Step::Erase ? ",erase-ms=3000" : ",erase-ms=20";
    if (c.step == Step::ImageData) keys += ",timing=full-speed";
    if (c.step == Step::ImageData && c.fault == Fault::CablePulled) keys += ",unplug-after=200";
    if (c.fault == Fault::NoDisk) keys += ",disk=none";
    if (c.fault == Fault::CopyRefused) keys += ",disk=refuse";
    if (c.fault == Fault::StopRefused) keys += ",disk=refuse-stop";  // the system's eject after the tool is refused too
    return keys;
}

bool holdsTheCopy(const Case& c) { return c.step == Step::Copy && c.fault != Fault::CopyRefused; }

TEST_P(InterruptedUpdate, TheNextRunLeavesTheControllerUpdatedAndTheHistoryTellsBothRuns)
{
    const Case& c = GetParam();
#ifdef __SANITIZE_ADDRESS__
    // These two only wait out lumaro-update's minute for its disk, on code the other cells meet too:
    // under the sanitizers the two minutes would be most of the matrix's time.
    if (c.step == Step::WaitingForDisk && (c.fault == Fault::NoDisk || c.fault == Fault::CablePulled))
        GTEST_SKIP() << "the plain suite runs it";
#endif
    startSim(controllerKeysFor(c));
    [[maybe_unused]] const fs::path stopStarted = folder / "stop-started";
    const fs::path newFirmware = bus / "drives/F/Upfirmware.bin";
#ifndef _WIN32
    if (c.step == Step::StopDisk) {
        const std::string original = (folder / "S2").string();
        writeScript(bus / "tools/S2", "touch '" + stopStarted.string() + "'; " +
                                          (c.fault == Fault::StopRefused
                                               ? std::string("exit 0")  // answers, and leaves the disk where it is
                                               : "sleep 2; exec '" + original + "' \"$@\""));
    }
#endif

    // The first run, interrupted, each at its moment, which it must have reached.
    {
        UpdateRun first = run({"--json"});
        plugTheStickInto(first);
        if (HasFatalFailure()) return;
        switch (c.step) {
        case Step::Erase:
            for (;;) {
                const auto step = first.nextEvent("step", 10000);
                ASSERT_TRUE(step);
                if (step->value("text").toString().startsWith("Start to clear image data")) break;
            }
            sleepMs(300);
            break;
        case Step::ImageData:
            ASSERT_TRUE(sim->waitForEvent("ctl", "image-start", 1, std::chrono::seconds(10)));
            if (c.fault == Fault::CablePulled) {
                ASSERT_TRUE(sim->waitForEvent("ctl", "unplugged", 1, std::chrono::seconds(10)));
            }
            sleepMs(300);
            break;
        case Step::WaitingForDisk:
            ASSERT_TRUE(sim->waitForEvent("ctl", c.fault == Fault::Killed || c.fault == Fault::CtrlCTwice ? "disk-shown"
                                                                                                           : "bootloader-mode",
                                          1, std::chrono::seconds(10)));
            break;
        case Step::Copy:
#ifndef _WIN32
            if (holdsTheCopy(c)) {
                ASSERT_TRUE(sim->waitForEvent("ctl", "disk-shown", 1, std::chrono::seconds(10)));
                holdTheCopy(newFirmware);
                // The copy's first act: the old file goes.
                ASSERT_TRUE(waitForFile(bus / "drives/F/firmware.bin", false, 20000)) << "the copy did not begin";
            }
#endif
            break;
        case Step::StopDisk:
#ifndef _WIN32
            ASSERT_TRUE(waitForFile(stopStarted, true, 20000)) << "the stop did not begin";
#endif
            break;
        }
        switch (c.fault) {
        case Fault::Killed: first.kill(); break;
        case Fault::CablePulled:
            if (c.step != Step::ImageData) {
                EXPECT_EQ(sim->control("unplug ctl"), "ok");
            }
            if (c.step == Step::WaitingForDisk) {  // and plugged in again at once: back in its application
                sleepMs(1000);
                EXPECT_EQ(sim->control("plug ctl"), "ok");
            }
            break;
        case Fault::Silent: EXPECT_EQ(sim->control("set ctl fault=silent"), "ok"); break;
        case Fault::CtrlCTwice:
#ifndef _WIN32
            first.interrupt();
            sleepMs(300);
            first.interrupt();
            if (holdsTheCopy(c)) {
                sleepMs(300);
                releaseTheCopy(newFirmware, contentsOf(program / "Firmware/Tessaray_FW_1.0.4.bin"));
            }
#endif
            break;
        case Fault::NoDisk:
        case Fault::CopyRefused:
        case Fault::StopRefused: break;
        }
        if (c.fault != Fault::Killed) expectEndedNotDone(first);
        if (c.fault == Fault::CopyRefused) {
            EXPECT_TRUE(said(first, "Copy firmware to the update disk fail"));
        }
#ifdef _WIN32
        if (c.fault == Fault::StopRefused) {
            EXPECT_TRUE(said(first, "refused to stop F:"));
        }
#endif
        if (c.fault == Fault::NoDisk || (c.step == Step::WaitingForDisk && c.fault == Fault::CablePulled)) {
            EXPECT_EQ(countEvents(*sim, "ctl", "disk-shown"), 0);
            EXPECT_TRUE(said(first, "No update disk appeared"));
            EXPECT_TRUE(said(first, "E: is on another USB port than the controller")) << stepsOf(first);  // looked at
        }
    }
    const std::vector<std::string> firstRows = historyRows();

    // As the user finds it and sets it right: plugged in again, the fault gone.
    if (c.fault == Fault::CablePulled && c.step != Step::WaitingForDisk) {
        EXPECT_EQ(sim->control("plug ctl"), "ok");
    }
    if (c.fault == Fault::Silent) {
        EXPECT_EQ(sim->control("set ctl fault=none"), "ok");
    }
    if (c.fault == Fault::CopyRefused || c.fault == Fault::NoDisk) {  // no disk, or one without its file: re-plugged
        EXPECT_EQ(sim->control("set ctl disk=normal"), "ok");
        if (c.fault == Fault::CopyRefused) {  // the other is off the bus already
            EXPECT_EQ(sim->control("unplug ctl"), "ok");
        }
        EXPECT_EQ(sim->control("plug ctl"), "ok");
    }
    if (holdsTheCopy(c) && c.fault == Fault::Killed) {  // the copy cut short: half a file
        fs::remove(newFirmware);
        writeFile(newFirmware, contentsOf(program / "Firmware/Tessaray_FW_1.0.4.bin").substr(0, 4096));
    }
    if (c.fault == Fault::StopRefused) {
        EXPECT_EQ(sim->control("set ctl disk=normal"), "ok");
    }
#ifndef _WIN32
    if (c.step == Step::StopDisk) fs::copy_file(folder / "S2", bus / "tools/S2", fs::copy_options::overwrite_existing);
#endif
    if (c.step == Step::StopDisk && c.fault == Fault::Killed) sleepMs(3000);  // the tool it left runs on
    EXPECT_EQ(sim->control("unplug E"), "ok");

    // The next run.
    UpdateRun next = run({"--json", "--wait", "20"});
    const auto started = next.nextEvent("start", 20000);
    ASSERT_TRUE(started) << next.readErrors(100);
    if (c.next == Next::Finish) {  // a finish looks at every drive there is
        EXPECT_EQ(sim->control("plug E"), "ok");
    } else {
        plugTheStickInto(next);
    }
    EXPECT_EQ(started->value("finished").toBool(), c.next == Next::Finish);
    EXPECT_EQ(started->value("port").toString(), "1-4");
    const auto result = next.nextEvent("result", kRunLimitMs);
    ASSERT_TRUE(result) << next.readErrors(100);
    EXPECT_EQ(result->value("result").toString(), "done") << result->value("error").toString().toStdString();
    EXPECT_EQ(next.exitCode(10000), 0) << next.errors;
    EXPECT_EQ(next.results().size(), 1u);

    expectImageDataAndFirmwareArrived();
    // The history: the first run's row (killed: written by the next), then the next run's.
    const std::vector<std::string> rows = historyRows();
    ASSERT_GE(rows.size(), 2u);
    const std::string& first = rows.front();
    EXPECT_TRUE(first.find(",interrupted,") != std::string::npos || first.find(",failed,") != std::string::npos ||
                first.find(",stopped,") != std::string::npos)
        << first;
    EXPECT_NE(rows.back().find(",done,"), std::string::npos) << rows.back();
    if (c.next == Next::Finish) {
        EXPECT_NE(rows.back().find("finished after an interruption"), std::string::npos);
    }
    if (c.fault != Fault::Killed) {
        EXPECT_FALSE(firstRows.empty()) << "the first run wrote its own row";
    }
    EXPECT_EQ(std::count_if(rows.begin(), rows.end(),
                            [](const std::string& row) { return row.find("came back by itself") != std::string::npos; }),
              c.cameBack ? 1 : 0);
    expectNothingLeftAndTheStickUntouched();
}

#ifndef _WIN32
INSTANTIATE_TEST_SUITE_P(
    EveryStepAndFault, InterruptedUpdate,
    ::testing::Values(Case{"EraseKilled", Step::Erase, Fault::Killed, Next::WholeUpdate, false},
                      Case{"EraseCablePulled", Step::Erase, Fault::CablePulled, Next::WholeUpdate, false},
                      Case{"EraseSilent", Step::Erase, Fault::Silent, Next::WholeUpdate, false},
                      Case{"EraseCtrlCTwice", Step::Erase, Fault::CtrlCTwice, Next::WholeUpdate, false},
                      Case{"ImageDataKilled", Step::ImageData, Fault::Killed, Next::WholeUpdate, false},
                      Case{"ImageDataCablePulled", Step::ImageData, Fault::CablePulled, Next::WholeUpdate, false},
                      Case{"ImageDataSilent", Step::ImageData, Fault::Silent, Next::WholeUpdate, false},
                      Case{"ImageDataCtrlCTwice", Step::ImageData, Fault::CtrlCTwice, Next::WholeUpdate, false},
                      Case{"WaitingForDiskKilled", Step::WaitingForDisk, Fault::Killed, Next::Finish, false},
                      Case{"WaitingForDiskCablePulled", Step::WaitingForDisk, Fault::CablePulled, Next::WholeUpdate, true},
                      Case{"WaitingForDiskCtrlCTwice", Step::WaitingForDisk, Fault::CtrlCTwice, Next::Finish, false},
                      Case{"NoDiskInTime", Step::WaitingForDisk, Fault::NoDisk, Next::WholeUpdate, true},
                      Case{"CopyKilled", Step::Copy, Fault::Killed, Next::Finish, false},
                      // Ctrl+C during the copy and the stop: CtrlCWaitsForTheDisksEnd below.
                      Case{"CopyRefused", Step::Copy, Fault::CopyRefused, Next::WholeUpdate, true},
                      Case{"StopDiskKilled", Step::StopDisk, Fault::Killed, Next::WholeUpdate, true},
                      Case{"StopDiskRefused", Step::StopDisk, Fault::StopRefused, Next::Finish, false},
                      // The disk gone during its stop, the tool failing: not confirmed, kept stranded.
                      Case{"StopDiskCablePulled", Step::StopDisk, Fault::CablePulled, Next::WholeUpdate, true}),
    [](const ::testing::TestParamInfo<Case>& tested) { return std::string(tested.param.name); });
#else
// Under Wine: a process ended by the system, a cable pulled and a silent controller over the bus's
// TCP, a stop request refused, and the stranded updates finished through the bus's stop requests.
INSTANTIATE_TEST_SUITE_P(
    WhatWineCanMake, InterruptedUpdate,
    ::testing::Values(Case{"ImageDataSilent", Step::ImageData, Fault::Silent, Next::WholeUpdate, false},
                      Case{"ImageDataCablePulled", Step::ImageData, Fault::CablePulled, Next::WholeUpdate, false},
                      Case{"WaitingForDiskKilled", Step::WaitingForDisk, Fault::Killed, Next::Finish, false},
                      Case{"StopDiskRefused", Step::StopDisk, Fault::StopRefused, Next::Finish, false}),
    [](const ::testing::TestParamInfo<Case>& tested) { return std::string(tested.param.name); });
#endif

#ifdef _WIN32
constexpr const char* kFirstDiesBesideASecond =
    "Under Wine the first lumaro-update.exe ends abnormally, in about a third of the runs, after a second instance "
    "has run beside it (during its image data or its wait for the disk): no result line, no marker, no history row; "
    "alone it ends done. Not yet traced to the program or to Wine";
#endif

// A second instance started while the first waits for the controller's disk takes the live job
// for nobody's: it records nothing, finishes nothing, and the first ends done.
TEST_F(UpdateBench, ASecondInstanceLeavesALiveJobAlone)
{
#ifdef _WIN32
    GTEST_SKIP() << kFirstDiesBesideASecond;
#endif
    startSim(",disk-ms=3000,erase-ms=20");
    UpdateRun first = run({"--json"});
    ASSERT_TRUE(sim->waitForEvent("ctl", "bootloader-mode", 1, std::chrono::seconds(10)));
    {
        UpdateRun second = run({"--json", "--wait", "2"});
        EXPECT_EQ(second.exitCode(10000), 3) << second.errors;  // no controller for it
        EXPECT_EQ(second.errors.find("Interrupted"), std::string::npos) << second.errors;
    }
    const auto result = first.nextEvent("result", kRunLimitMs);
    ASSERT_TRUE(result) << first.readErrors(100);
    EXPECT_EQ(result->value("result").toString(), "done");
    EXPECT_EQ(first.exitCode(10000), 0);
    const std::vector<std::string> rows = historyRows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_NE(rows[0].find(",done,"), std::string::npos) << rows[0];
}

// Two runs at one controller: the second, started while the first sends image data, erases and
// writes nothing, and names the first; the first ends done with every record. A line (--repeat)
// leaves that unit alone also once the first has let it go, until it has been re-plugged.
struct SecondRun {
    const char* name;
    bool repeat;
};

void PrintTo(const SecondRun& run, std::ostream* out) { *out << run.name; }

class TwoRunsAtOneController : public UpdateBench, public ::testing::WithParamInterface<SecondRun> {};

TEST_P(TwoRunsAtOneController, TheSecondTouchesNothingAndTheFirstEndsDone)
{
#ifdef _WIN32
    GTEST_SKIP() << kFirstDiesBesideASecond;
#endif
    const bool repeat = GetParam().repeat;
    startSim(",disk-ms=300,erase-ms=20,timing=full-speed");
    UpdateRun first = run({"--json"});
    ASSERT_TRUE(sim->waitForEvent("ctl", "image-start", 1, std::chrono::seconds(10)));
    UpdateRun second = run(repeat ? QStringList{"--json", "--repeat"} : QStringList{"--json"});
    const std::string named = "another program is updating it (lumaro-update, process " +
                              std::to_string(first.processId()) + ")";
    if (repeat) {
        for (int look = 0; look < 100 && second.errors.find(named) == std::string::npos; ++look) second.readErrors(100);
    } else {
        EXPECT_EQ(second.exitCode(10000), 4);
    }
    EXPECT_NE(second.errors.find(repeat ? "Tessaray TC-100 on USB port 1-4 is left alone"
                                        : "Tessaray TC-100 on USB port 1-4 was left alone"),
              std::string::npos)
        << second.errors;
    EXPECT_NE(second.errors.find(named), std::string::npos) << second.errors;

    const auto result = first.nextEvent("result", kRunLimitMs);
    ASSERT_TRUE(result) << first.readErrors(100);
    EXPECT_EQ(result->value("result").toString(), "done");
    EXPECT_EQ(first.exitCode(10000), 0) << first.errors;
    std::vector<std::uint8_t> sent = image;  // the job always ends with one record of zeros past the file
    sent.resize((sent.size() / kRecordBytes + 1) * kRecordBytes, 0);
    EXPECT_EQ(sim->imageData("ctl"), sent);
    EXPECT_EQ(countEvents(*sim, "ctl", "image-erased"), 1);
#ifndef _WIN32  // a line is ended by Ctrl+C
    if (!repeat) return;

    sleepMs(3000);  // the line sees the first let go, and the unit back with its new firmware
    EXPECT_EQ(countEvents(*sim, "ctl", "image-erased"), 1);
    EXPECT_EQ(sim->control("unplug ctl"), "ok");
    sleepMs(1000);  // as long as a hand takes
    EXPECT_EQ(sim->control("plug ctl"), "ok");
    const auto next = second.nextEvent("result", kRunLimitMs);
    ASSERT_TRUE(next) << second.readErrors(100);
    EXPECT_EQ(next->value("result").toString(), "done");
    second.interrupt();
    EXPECT_EQ(second.exitCode(10000), 0);
    EXPECT_EQ(countEvents(*sim, "ctl", "image-erased"), 2);
#endif
}

#ifdef _WIN32
const SecondRun kSecondRuns[] = {{"SingleRun", false}};
#else
const SecondRun kSecondRuns[] = {{"SingleRun", false}, {"Line", true}};
#endif
INSTANTIATE_TEST_SUITE_P(BySecondRun, TwoRunsAtOneController, ::testing::ValuesIn(kSecondRuns),
                         [](const ::testing::TestParamInfo<SecondRun>& tested) { return std::string(tested.param.name); });

#ifndef _WIN32  // the cells below use Ctrl+C, pipes, links or a system without ports

// Where the system cannot tell ports, a stranded update's disk is the one of the kind learned for
// the model, and a stick holding a firmware.bin of its own is never taken for it.
TEST_F(UpdateBench, WithoutPortsAStrandedUpdateIsFinishedOnItsOwnKindOfDiskOnly)
{
    sim.emplace(std::vector<std::string>{"--controller", "ctl,port=,disk-letter=F,disk-ms=300,erase-ms=20", "--stick",
                                         "E,port=,file=" + (folder / "stick/firmware.bin").string()});
    sim->useBus();
    {
        UpdateRun first = run({"--json"});
        ASSERT_TRUE(sim->waitForEvent("ctl", "disk-shown", 1, std::chrono::seconds(15)));
        first.kill();
    }
    UpdateRun next = run({"--json", "--wait", "5"});
    const auto result = next.nextEvent("result", kRunLimitMs);
    ASSERT_TRUE(result) << next.readErrors(100);
    EXPECT_EQ(result->value("result").toString(), "done");
    EXPECT_TRUE(sim->waitForEvent("ctl", "firmware-updated"));
    const fs::path drives = sim->busDir() + "/drives";
    EXPECT_EQ(contentsOf(drives / "E/firmware.bin"), kStickFirmware);
    EXPECT_FALSE(fs::exists(drives / "E/Upfirmware.bin"));
}

// Drives that are not the controller's update disk, at every moment an update meets a drive: none
// is written, nothing says done, and the stranded update stays on record until its own disk is there.
enum class Stranger {
    StickInPortDuringWait,   // the controller pulled after its switch, a stick with a firmware.bin in its port
    StickInPortBeforeFinish, // the first run killed while it waited, then the same
    UnknownDiskKind,         // a PC that has never seen this model's update disk: a person must name it
};

class StrangeDrive : public UpdateBench, public ::testing::WithParamInterface<Stranger> {};

TEST_P(StrangeDrive, IsNeverWrittenAndTheUpdateStaysOnRecordUntilItsOwnDiskIsThere)
{
    const Stranger stranger = GetParam();
    const bool noDisk = stranger != Stranger::UnknownDiskKind;
    startSim(std::string(",disk-ms=300,erase-ms=20") + (noDisk ? ",disk=none" : ""),
             {"--stick", "S,unplugged,letter=G,port=1-4,file=" + (folder / "stick/firmware.bin").string()});
    if (stranger == Stranger::UnknownDiskKind) sim->forgetUpdateDisks();
    {
        UpdateRun first = run({"--json"});
        ASSERT_TRUE(sim->waitForEvent("ctl", "bootloader-mode", 1, std::chrono::seconds(15)));
        // A controller without its disk has left the bus: its port is free for the stick.
        if (stranger == Stranger::StickInPortDuringWait) {
            EXPECT_EQ(sim->control("plug S"), "ok");
        }
        if (stranger == Stranger::StickInPortBeforeFinish) {
            sleepMs(500);
            first.kill();
        } else {
            if (stranger == Stranger::StickInPortDuringWait) {
                for (;;) {  // it says why it passes the stick over, and waits on for its own disk
                    const auto step = first.nextEvent("step", kRunLimitMs);
                    ASSERT_TRUE(step) << first.readErrors(100);
                    if (step->value("text").toString().contains("another kind")) break;
                }
                first.interrupt();
                first.interrupt();
            }
            EXPECT_NE(first.exitCode(kRunLimitMs), 0) << first.errors;
            for (const QJsonObject& object : first.objects) {
                if (object.value("event").toString() == "result") {
                    EXPECT_NE(object.value("result").toString(), "done");
                }
            }
        }
    }
    if (stranger == Stranger::StickInPortBeforeFinish) {
        EXPECT_EQ(sim->control("plug S"), "ok");
    }
    {
        UpdateRun next = run({"--json", "--wait", "3"});
        EXPECT_EQ(next.exitCode(kRunLimitMs), 3) << next.errors;
        if (stranger == Stranger::UnknownDiskKind) {
            EXPECT_NE(next.errors.find("--finish-on F:"), std::string::npos) << next.errors;
        }
    }
    const fs::path drives = bus / "drives";
    EXPECT_FALSE(fs::exists(drives / "G/Upfirmware.bin"));
    if (fs::exists(drives / "G")) {
        EXPECT_EQ(contentsOf(drives / "G/firmware.bin"), kStickFirmware);
    }
    EXPECT_EQ(countEvents(*sim, "ctl", "firmware-updated"), 0);

    // Its own disk, named where only a person can tell it, finishes the update.
    if (stranger != Stranger::UnknownDiskKind) {
        EXPECT_EQ(sim->control("unplug S"), "ok");
        EXPECT_EQ(sim->control("set ctl disk=normal"), "ok");
        EXPECT_EQ(sim->control("plug ctl"), "ok");  // back in its application: the whole update again
    }
    UpdateRun last = run({"--json", "--wait", "20", "--finish-on", "F:"});
    const auto result = last.nextEvent("result", kRunLimitMs);
    ASSERT_TRUE(result) << last.readErrors(100);
    EXPECT_EQ(result->value("result").toString(), "done") << result->value("error").toString().toStdString();
    EXPECT_TRUE(sim->waitForEvent("ctl", "firmware-updated"));
    EXPECT_FALSE(fs::exists(drives / "G/Upfirmware.bin"));
}

INSTANTIATE_TEST_SUITE_P(EveryMoment, StrangeDrive,
                         ::testing::Values(Stranger::StickInPortDuringWait, Stranger::StickInPortBeforeFinish,
                                           Stranger::UnknownDiskKind));

// With --repeat, the unit just done comes back on its own port; a controller on another port is
// the next unit, taken at once without waiting for the first to be unplugged.
TEST_F(UpdateBench, RepeatTakesAUnitOnAnotherPortAtOnce)
{
    startSim(",disk-ms=20,erase-ms=20", {"--controller", "other,port=1-5,disk-ms=20,erase-ms=20"});
    UpdateRun line = run({"--json", "--repeat"});
    std::vector<QString> ports;
    for (int unit = 0; unit < 2; ++unit) {
        const auto result = line.nextEvent("result", kRunLimitMs);
        ASSERT_TRUE(result) << line.readErrors(100);
        EXPECT_EQ(result->value("result").toString(), "done");
        ports.push_back(result->value("port").toString());
    }
    std::sort(ports.begin(), ports.end());
    EXPECT_EQ(ports, (std::vector<QString>{"1-4", "1-5"}));
    line.interrupt();
    EXPECT_EQ(line.exitCode(10000), 0);
    EXPECT_EQ(countEvents(*sim, "ctl", "image-start"), 1);
    EXPECT_EQ(countEvents(*sim, "other", "image-start"), 1);
}

// Ctrl+C twice while the firmware is copied or the update disk stopped: the job goes on to its end,
// and the run ends as the controller did: done, exit 0.
class CtrlCWaitsForTheDisksEnd : public UpdateBench, public ::testing::WithParamInterface<Step> {};

TEST_P(CtrlCWaitsForTheDisksEnd, AndTheRunTellsTheControllersEnd)
{
    startSim(",disk-ms=300,erase-ms=20");
    const fs::path stopStarted = folder / "stop-started", newFirmware = bus / "drives/F/Upfirmware.bin";
    if (GetParam() == Step::StopDisk)
        writeScript(bus / "tools/S2", "touch '" + stopStarted.string() + "'; sleep 2; exec '" + (folder / "S2").string() + "' \"$@\"");
    UpdateRun first = run({"--json"});
    if (GetParam() == Step::Copy) {
        ASSERT_TRUE(sim->waitForEvent("ctl", "disk-shown", 1, std::chrono::seconds(10)));
        holdTheCopy(newFirmware);
        ASSERT_TRUE(waitForFile(bus / "drives/F/firmware.bin", false, 20000)) << "the copy did not begin";
    } else {
        ASSERT_TRUE(waitForFile(stopStarted, true, 20000)) << "the stop did not begin";
    }
    first.interrupt();
    sleepMs(300);
    first.interrupt();
    for (int look = 0; look < 10 && first.errors.find("waits for its update disk") == std::string::npos; ++look)
        first.readErrors(100);
    EXPECT_NE(first.errors.find("waits for its update disk"), std::string::npos) << first.errors;
    EXPECT_EQ(countEvents(*sim, "ctl", "firmware-updated"), 0) << "told only once the stop had ended";
    if (GetParam() == Step::Copy) releaseTheCopy(newFirmware, contentsOf(program / "Firmware/Tessaray_FW_1.0.4.bin"));
    const auto result = first.nextEvent("result", kRunLimitMs);
    ASSERT_TRUE(result) << first.readErrors(100);
    EXPECT_EQ(result->value("result").toString(), "done");
    EXPECT_EQ(first.exitCode(10000), 0) << first.errors;
    EXPECT_TRUE(sim->waitForEvent("ctl", "firmware-updated"));
    const std::vector<std::string> rows = historyRows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_NE(rows[0].find(",done,"), std::string::npos) << rows[0];
}

INSTANTIATE_TEST_SUITE_P(CopyAndStop, CtrlCWaitsForTheDisksEnd, ::testing::Values(Step::Copy, Step::StopDisk),
                         [](const ::testing::TestParamInfo<Step>& tested) {
                             return std::string(tested.param == Step::Copy ? "Copy" : "StopDisk");
                         });

// --repeat after a refused stop (the tool's and the system's): that disk is not written again until
// it has left, and a new unit on another port is taken meanwhile.
TEST_F(UpdateBench, RepeatLeavesARefusedStopsDiskAloneAndTakesANewUnit)
{
    startSim(",disk-ms=20,erase-ms=20,disk=refuse-stop", {"--controller", "other,unplugged,port=1-5,disk-ms=20,erase-ms=20"});
    UpdateRun line = run({"--json", "--repeat"});
    const auto refused = line.nextEvent("result", kRunLimitMs);
    ASSERT_TRUE(refused) << line.readErrors(100);
    EXPECT_EQ(refused->value("result").toString(), "failed");
    EXPECT_EQ(sim->control("plug other"), "ok");
    const auto next = line.nextEvent("result", kRunLimitMs);
    ASSERT_TRUE(next) << line.readErrors(100);
    EXPECT_EQ(next->value("result").toString(), "done");
    EXPECT_EQ(next->value("port").toString(), "1-5");
    sleepMs(2000);  // time for another try at the refused disk, were there one
    line.interrupt();
    EXPECT_EQ(line.exitCode(10000), 1) << line.errors;
    EXPECT_EQ(countEvents(*sim, "ctl", "disk-stop-refused"), 2);  // the tool, then the system's eject: once
    EXPECT_EQ(historyRows().size(), 2u);
}

// What anyone may have put in the history folder, met by the next run while the controller waits
// in its bootloader with its disk on its port: a record naming a file that is not the program's
// own, or the program's own firmware with another hash, or the program's own record reached through
// a link, is not finished: nothing reaches the controller and the run says why. Pipes under the
// records' names, and a pending file that links to a private file, hold nothing up and bring nothing
// into the history, and the update left for real is finished.
enum class Plant { RecordOfAFileOutside, RecordWithAnotherHash, RecordThroughALink, Pipes, PendingLinkToAPrivateFile };

struct PlantCase {
    const char* name;
    Plant plant;
    bool realRecordLeft;  // the killed run's own record stays beside what is planted
    const char* told;     // what the next run's standard error says
};

void PrintTo(const PlantCase& c, std::ostream* out) { *out << c.name; }

class PlantedInTheHistory : public UpdateBench, public ::testing::WithParamInterface<PlantCase> {};

// The marker text with one field's value replaced.
std::string withField(const std::string& marker, const std::string& key, const std::string& value)
{
    const std::size_t start = marker.find('\n' + key + '=') + 1;
    const std::size_t end = marker.find('\n', start);
    return marker.substr(0, start) + key + '=' + value + marker.substr(end);
}

TEST_P(PlantedInTheHistory, NothingPlantedReachesTheControllerOrTheHistory)
{
    const PlantCase& c = GetParam();
    startSim(",disk-ms=300,erase-ms=20");
    {
        UpdateRun first = run({"--json"});
        ASSERT_TRUE(sim->waitForEvent("ctl", "disk-shown", 1, std::chrono::seconds(15)));
        first.kill();
    }
    const fs::path record = program / "Record";
    fs::path marker;
    for (const auto& file : fs::directory_iterator(record))
        if (file.path().extension() == ".running") marker = file.path();
    ASSERT_FALSE(marker.empty());
    const std::string markerText = contentsOf(marker);
    if (!c.realRecordLeft) {
        fs::remove(marker);
        fs::remove(fs::path(marker).replace_extension(".lock"));
    }
    const fs::path outside = folder / "outside.bin", privateFile = folder / "private.csv";
    writeFile(outside, "another device's firmware\n");
    const std::string privateText = "private,row\r\n";
    writeFile(privateFile, privateText);
    fs::permissions(privateFile, fs::perms::owner_read | fs::perms::owner_write);
    const std::string outsideSha = sha256Of(QString::fromStdString(outside.string())).toStdString();
    const fs::path planted = record / "UpdateHistory.planted.stranded";
    switch (c.plant) {
    case Plant::RecordOfAFileOutside:
        writeFile(planted, withField(withField(markerText, "firmware", outside.string()), "firmwareSha256", outsideSha));
        break;
    case Plant::RecordWithAnotherHash: writeFile(planted, withField(markerText, "firmwareSha256", outsideSha)); break;
    case Plant::RecordThroughALink:
        writeFile(folder / "record", markerText);
        fs::create_symlink(folder / "record", planted);
        break;
    case Plant::Pipes:
        for (const char* name : {"UpdateHistory.pipe-1.running", "UpdateHistory.pipe-2.stranded", "UpdateHistory.pipe-3.pending"})
            ASSERT_EQ(::mkfifo((record / name).c_str(), 0666), 0);
        break;
    case Plant::PendingLinkToAPrivateFile: fs::create_symlink(privateFile, record / "UpdateHistory.planted.pending"); break;
    }

    UpdateRun next = run({"--json", "--wait", c.realRecordLeft ? "20" : "3"});
    if (c.realRecordLeft) {
        const auto result = next.nextEvent("result", kRunLimitMs);
        ASSERT_TRUE(result) << next.readErrors(100);
        EXPECT_EQ(result->value("result").toString(), "done");
        EXPECT_TRUE(result->value("finished").toBool());
        EXPECT_EQ(next.exitCode(10000), 0) << next.errors;
        EXPECT_EQ(countEvents(*sim, "ctl", "firmware-updated"), 1);
    } else {
        EXPECT_EQ(next.exitCode(20000), 3) << next.errors;
        EXPECT_EQ(countEvents(*sim, "ctl", "firmware-updated"), 0);
        EXPECT_TRUE(fs::exists(bus / "drives/F/firmware.bin"));
        EXPECT_FALSE(fs::exists(bus / "drives/F/Upfirmware.bin"));
    }
    EXPECT_NE(next.errors.find(c.told), std::string::npos) << next.errors;
    EXPECT_EQ(contentsOf(record / "UpdateHistory.csv").find("private"), std::string::npos);
    EXPECT_EQ(contentsOf(privateFile), privateText);
}

INSTANTIATE_TEST_SUITE_P(
    EveryPlant, PlantedInTheHistory,
    ::testing::Values(
        PlantCase{"RecordOfAFileOutside", Plant::RecordOfAFileOutside, false, "is not one of the program's own files"},
        PlantCase{"RecordWithAnotherHash", Plant::RecordWithAnotherHash, false, "has changed since the update began"},
        PlantCase{"RecordThroughALink", Plant::RecordThroughALink, false, "planted.stranded is not a plain file"},
        PlantCase{"Pipes", Plant::Pipes, true, "pipe-2.stranded is not a plain file"},
        PlantCase{"PendingLinkToAPrivateFile", Plant::PendingLinkToAPrivateFile, true, "planted.pending is not a plain file"}),
    [](const ::testing::TestParamInfo<PlantCase>& tested) { return std::string(tested.param.name); });

#endif

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);  // for the stand-in logind
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
