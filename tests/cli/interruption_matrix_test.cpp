// Every interrupted update is finished, on the right controller: lumaro-update, a real process,
// against the simulator, interrupted at each step of the update road by each fault that can meet
// it there; then the next run, which leaves the controller with all its image data and the new
// firmware, and the history telling both runs. A USB stick on another port, holding a
// firmware.bin of its own and sorting before the controller's disk, is never touched.
#include "private_logind.h"
#include "sim_process.h"
#include "temporary_folder.h"
#include "update_run.h"

#include <QCoreApplication>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

namespace {

using namespace lumaro::test;
namespace fs = std::filesystem;

enum class Step { Erase, ImageData, WaitingForDisk, Copy, StopDisk };
enum class Fault { Killed, CablePulled, Silent, CtrlCTwice, CopyRefused, StopRefused };
// How the next run leaves the controller updated: the whole update again (the controller was in
// its application), or the finish of the stranded update on the controller's disk.
enum class Next { WholeUpdate, Finish };

struct Case {
    const char* name;
    Step step;
    Fault fault;
    Next next;
};

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

void writeScript(const fs::path& file, const std::string& body)
{
    writeFile(file, "#!/bin/sh\n" + body + "\n");
    fs::permissions(file, fs::perms::owner_all);
}

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

class InterruptedUpdate : public ::testing::TestWithParam<Case> {
protected:
    void SetUp() override
    {
        const fs::path dist = kDistFolder.toStdString();
        fs::create_directories(program / "Record");
        fs::create_directories(program / "Firmware");
        fs::copy_file(dist / "DevInfo.DAT", program / "DevInfo.DAT");
        fs::copy_file(kLumaroUpdate.toStdString(), program / "lumaro-update");
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

    void startSim(const std::string& controllerKeys)
    {
        sim.emplace(std::vector<std::string>{"--controller", "ctl,port=1-4,disk-letter=F" + controllerKeys, "--stick",
                                             "E,port=2-1,file=" + (folder / "stick/firmware.bin").string()});
        bus = sim->busDir();
        fs::copy_file(bus / "tools/S2", folder / "S2", fs::copy_options::overwrite_existing);
    }
    UpdateRun run(const QStringList& arguments)
    {
        return UpdateRun(arguments, folder, QString::fromStdString((program / "lumaro-update").string()));
    }
    std::vector<std::string> historyRows() const
    {
        std::vector<std::string> rows;
        std::ifstream in(program / "Record/UpdateHistory.csv", std::ios::binary);
        for (std::string line; std::getline(in, line);) rows.push_back(line);
        if (!rows.empty()) rows.erase(rows.begin());  // the header
        return rows;
    }

    fs::path folder = bustest::makeTemporaryFolder("interrupted-update-");
    fs::path program = folder / "program";
    fs::path bus;
    std::vector<std::uint8_t> image;
    std::optional<SimProcess> sim;
    PrivateLogind logind;
};

std::string controllerKeysFor(const Case& c)
{
    std::string keys = ",disk-ms=300";
    keys += c.step == Step::Erase ? ",erase-ms=3000" : ",erase-ms=20";
    if (c.step == Step::ImageData) keys += ",timing=full-speed";
    if (c.step == Step::ImageData && c.fault == Fault::CablePulled) keys += ",unplug-after=200";
    if (c.fault == Fault::CopyRefused) keys += ",disk=refuse";
    return keys;
}

TEST_P(InterruptedUpdate, TheNextRunLeavesTheControllerUpdatedAndTheHistoryTellsBothRuns)
{
    const Case& c = GetParam();
    startSim(controllerKeysFor(c));
    const fs::path stopStarted = folder / "stop-started";
    if (c.step == Step::StopDisk) {
        const std::string original = (folder / "S2").string();
        writeScript(bus / "tools/S2", c.fault == Fault::StopRefused
                                          ? "exit 0"  // answers, and leaves the disk where it is
                                          : "touch '" + stopStarted.string() + "'; sleep 2; exec '" + original + "' \"$@\"");
    }

    // The first run, interrupted.
    {
        UpdateRun first = run({"--json"});
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
            sleepMs(300);
            break;
        case Step::WaitingForDisk: ASSERT_TRUE(sim->waitForEvent("ctl", "disk-shown", 1, std::chrono::seconds(10))); break;
        case Step::Copy: break;
        case Step::StopDisk:
            if (c.fault != Fault::StopRefused)
                for (int i = 0; i < 400 && !fs::exists(stopStarted); ++i) sleepMs(50);
            break;
        }
        switch (c.fault) {
        case Fault::Killed: first.kill(); break;
        case Fault::CablePulled:
            if (c.step != Step::ImageData) {
                EXPECT_EQ(sim->control("unplug ctl"), "ok");
            }
            break;
        case Fault::Silent: EXPECT_EQ(sim->control("set ctl fault=silent"), "ok"); break;
        case Fault::CtrlCTwice:
            first.interrupt();
            sleepMs(300);
            first.interrupt();
            break;
        case Fault::CopyRefused:
        case Fault::StopRefused: break;
        }
        if (c.fault != Fault::Killed) {
            // It ends by itself, and never as done.
            const int code = first.exitCode(kRunLimitMs);
            EXPECT_NE(code, -1) << "the first run did not end";
            EXPECT_NE(code, 0) << first.errors;
            for (const QJsonObject& object : first.objects) {
                if (object.value("event").toString() == "result") {
                    EXPECT_NE(object.value("result").toString(), "done");
                }
            }
        }
    }
    const std::vector<std::string> firstRows = historyRows();

    // As the user finds it and sets it right: plugged in again, the fault gone.
    if (c.fault == Fault::CablePulled) {
        EXPECT_EQ(sim->control("plug ctl"), "ok");
    }
    if (c.fault == Fault::Silent) {
        EXPECT_EQ(sim->control("set ctl fault=none"), "ok");
    }
    if (c.fault == Fault::CopyRefused) fs::remove_all(bus / "drives/F/Upfirmware.bin");
    if (c.step == Step::StopDisk) fs::copy_file(folder / "S2", bus / "tools/S2", fs::copy_options::overwrite_existing);
    if (c.step == Step::StopDisk && c.fault == Fault::Killed) sleepMs(3000);  // the tool it left runs on

    // The next run.
    UpdateRun next = run({"--json", "--wait", "20"});
    const auto started = next.nextEvent("start", 20000);
    ASSERT_TRUE(started) << next.readErrors(100);
    EXPECT_EQ(started->value("finished").toBool(), c.next == Next::Finish);
    EXPECT_EQ(started->value("port").toString(), "1-4");
    const auto result = next.nextEvent("result", kRunLimitMs);
    ASSERT_TRUE(result) << next.readErrors(100);
    EXPECT_EQ(result->value("result").toString(), "done") << result->value("error").toString().toStdString();
    EXPECT_EQ(next.exitCode(10000), 0) << next.errors;

    // The controller has every image record and the new firmware.
    EXPECT_TRUE(sim->waitForEvent("ctl", "firmware-updated"));
    EXPECT_EQ(sim->imageData("ctl"), image);
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
    // Nothing of the run is left to finish, and no other drive was touched.
    EXPECT_EQ(std::distance(fs::directory_iterator(program / "Record"), fs::directory_iterator()), 1)
        << "only UpdateHistory.csv";
    EXPECT_EQ(contentsOf(bus / "drives/E/firmware.bin"), kStickFirmware);
    EXPECT_FALSE(fs::exists(bus / "drives/E/Upfirmware.bin"));
}

INSTANTIATE_TEST_SUITE_P(
    EveryStepAndFault, InterruptedUpdate,
    ::testing::Values(Case{"EraseKilled", Step::Erase, Fault::Killed, Next::WholeUpdate},
                      Case{"EraseCablePulled", Step::Erase, Fault::CablePulled, Next::WholeUpdate},
                      Case{"EraseSilent", Step::Erase, Fault::Silent, Next::WholeUpdate},
                      Case{"EraseCtrlCTwice", Step::Erase, Fault::CtrlCTwice, Next::WholeUpdate},
                      Case{"ImageDataKilled", Step::ImageData, Fault::Killed, Next::WholeUpdate},
                      Case{"ImageDataCablePulled", Step::ImageData, Fault::CablePulled, Next::WholeUpdate},
                      Case{"ImageDataSilent", Step::ImageData, Fault::Silent, Next::WholeUpdate},
                      Case{"ImageDataCtrlCTwice", Step::ImageData, Fault::CtrlCTwice, Next::WholeUpdate},
                      Case{"WaitingForDiskKilled", Step::WaitingForDisk, Fault::Killed, Next::Finish},
                      Case{"WaitingForDiskCtrlCTwice", Step::WaitingForDisk, Fault::CtrlCTwice, Next::Finish},
                      Case{"CopyRefused", Step::Copy, Fault::CopyRefused, Next::Finish},
                      Case{"StopDiskKilled", Step::StopDisk, Fault::Killed, Next::WholeUpdate},
                      Case{"StopDiskRefused", Step::StopDisk, Fault::StopRefused, Next::Finish}),
    [](const ::testing::TestParamInfo<Case>& tested) { return std::string(tested.param.name); });

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);  // for the stand-in logind
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
