// lumaro-update as a line controller meets it: the program run against the simulated controllers,
// its exit codes, its JSON lines read back, a line of units with one failing, and Ctrl+C.
#include "private_logind.h"
#include "sim_process.h"
#include "temporary_folder.h"
#include "update_run.h"

#include "minisign_signer.h"
#include "signing/minisign_format.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <thread>

namespace {

using namespace lumaro::test;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

class LumaroUpdateOnSim : public ::testing::Test {
protected:
    void start(const std::vector<std::string>& devices)
    {
        sim.emplace(devices);
        sim->useBus();
    }
    fs::path folder = bustest::makeTemporaryFolder("lumaro-update-test-");
    std::optional<SimProcess> sim;
    // The programs started here find it through the environment, as the system's logind.
    lumaro::test::PrivateLogind logind;

    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
};

TEST_F(LumaroUpdateOnSim, OneUnitTakesTheFilesBesideTheProgramAndEndsWithZero)
{
    start({"--controller", quick("ctl")});
    UpdateRun run({}, folder);  // no DevInfo.DAT in the current folder: the program's own is read
    ASSERT_EQ(run.exitCode(kUnitLimitMs), 0) << run.errors;
    EXPECT_NE(run.output.find("Done: "), std::string::npos) << run.output;
    EXPECT_EQ(run.errors, "");
    // The computer was kept awake for the unit, its lid switch included, and the user told to keep
    // the lid open (which Windows cannot hold).
    EXPECT_NE(run.output.find("; keep a laptop's lid open until it ends\n"), std::string::npos) << run.output;
    EXPECT_EQ(logind.inhibitCalls(), 1);
    EXPECT_TRUE(logind.lastInhibitArguments().value(0).contains("handle-lid-switch"));
    EXPECT_TRUE(logind.waitForLocksHeld(0));

    QFile image(kDistFolder + "Firmware/Tessaray_IMG_1.0.3.bin");
    ASSERT_TRUE(image.open(QIODevice::ReadOnly));
    const QByteArray bytes = image.readAll();
    std::vector<std::uint8_t> expected(bytes.begin(), bytes.end());
    expected.resize((expected.size() / 54 + 1) * 54, 0);
    EXPECT_EQ(sim->imageData("ctl"), expected);
    EXPECT_EQ(countEvents(*sim, "ctl", "image-erased"), 1);
    ASSERT_EQ(countEvents(*sim, "ctl", "firmware-updated"), 1);
    for (const auto& record : sim->records()) {
        if (record.event == "firmware-updated") {
            EXPECT_EQ(record.fields.at("bytes"),
                      std::to_string(QFileInfo(kDistFolder + "Firmware/Tessaray_FW_1.0.3.bin").size()));
        }
    }
}

// Where the program keeps a Record folder (as the window does), each unit leaves its history row.
TEST_F(LumaroUpdateOnSim, AUnitLeavesItsRowInTheUpdateHistoryBesideTheProgram)
{
    const fs::path program = folder / "program";
    const fs::path dist = kDistFolder.toStdString();
    fs::create_directories(program / "Record");
    fs::copy(dist / "Firmware", program / "Firmware", fs::copy_options::recursive);
    fs::copy_file(dist / "DevInfo.DAT", program / "DevInfo.DAT");
    fs::copy_file(kLumaroUpdate.toStdString(), program / "lumaro-update");
    start({"--controller", quick("ctl")});
    QProcess run;
    run.setWorkingDirectory(QString::fromStdString(folder.string()));
    run.start(QString::fromStdString((program / "lumaro-update").string()), {});
    ASSERT_TRUE(run.waitForFinished(kUnitLimitMs));
    ASSERT_EQ(run.exitCode(), 0) << run.readAllStandardError().toStdString();

    std::ifstream history(program / "Record/UpdateHistory.csv", std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(history), std::istreambuf_iterator<char>()};
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2) << text;  // the header and one row
    EXPECT_NE(text.find("Tessaray_FW_1.0.3.bin"), std::string::npos) << text;
    EXPECT_NE(text.find(",done,"), std::string::npos) << text;
    EXPECT_FALSE(fs::exists(program / "Record/UpdateHistory.running"));
}

// The second unit leaves the bus as its erase request arrives. Each unit is taken only once the
// last one is gone: the first, back with its new firmware, is not updated again.
TEST_F(LumaroUpdateOnSim, ALineOfThreeUnitsGoesOnPastAFailedOneAndReportsEachInJson)
{
    start({"--controller", quick("a"), "--controller", quick("b", ",unplugged,unplug-after=1"), "--controller",
           quick("c", ",unplugged")});
    const std::vector<std::string> units{"a", "b", "c"};
    UpdateRun run({"--repeat", "--json", "--wait", "3"}, folder);
    for (std::size_t i = 0; i < units.size(); ++i) {
        SCOPED_TRACE(units[i]);
        ASSERT_TRUE(run.nextEvent("unplug", kUnitLimitMs));
        // A unit that is done is unplugged once it is back with its new firmware; b has gone already.
        if (units[i] != "b") {
            ASSERT_TRUE(sim->waitForEvent(units[i], "plugged", 2));
            std::this_thread::sleep_for(std::chrono::milliseconds(300));  // time to take it again, wrongly
            EXPECT_EQ(sim->control("unplug " + units[i]), "ok");
        }
        ASSERT_TRUE(run.nextEvent("waiting", 5000));
        if (i + 1 < units.size()) {
            EXPECT_EQ(sim->control("plug " + units[i + 1]), "ok");
        }
    }
    EXPECT_EQ(run.exitCode(10000), 1) << run.errors;  // b failed; the wait for a fourth ran out

    std::vector<QJsonObject> results;
    int starts = 0;
    for (const QJsonObject& object : run.objects) {
        EXPECT_FALSE(object.value("time").toString().isEmpty());
        starts += object.value("event") == "start";
        if (object.value("event") == "result") results.push_back(object);
    }
    EXPECT_EQ(starts, 3);
    ASSERT_EQ(results.size(), 3u);
    const QString firmware = kDistFolder + "Firmware/Tessaray_FW_1.0.3.bin";
    const QString image = kDistFolder + "Firmware/Tessaray_IMG_1.0.3.bin";
    for (const QJsonObject& result : results) {
        EXPECT_EQ(result.value("vidPid").toString(), kVidPid);
        EXPECT_FALSE(result.value("model").toString().isEmpty());
        EXPECT_EQ(result.value("firmware").toObject().value("path").toString(), firmware);
        EXPECT_EQ(result.value("firmware").toObject().value("sha256").toString(), sha256Of(firmware));
        EXPECT_EQ(result.value("image").toObject().value("sha256").toString(), sha256Of(image));
    }
    EXPECT_EQ(results[0].value("result").toString(), "done");
    EXPECT_EQ(results[0].value("error").toString(), "");
    EXPECT_GT(results[0].value("seconds").toDouble(), 8.0);  // the controller's bootloader wait is in it
    EXPECT_EQ(results[1].value("result").toString(), "failed");
    EXPECT_TRUE(results[1].value("error").toString().startsWith("Erase image flash fail"))
        << results[1].value("error").toString().toStdString();
    EXPECT_EQ(results[2].value("result").toString(), "done");

    for (const char* unit : {"a", "c"}) {
        EXPECT_EQ(countEvents(*sim, unit, "image-erased"), 1) << unit;
        EXPECT_EQ(countEvents(*sim, unit, "firmware-updated"), 1) << unit;
    }
    EXPECT_EQ(countEvents(*sim, "b", "firmware-updated"), 0);
}

TEST_F(LumaroUpdateOnSim, BadFilesAndArgumentsEndWithTwoBeforeTheControllerIsTouched)
{
    start({"--controller", quick("ctl")});
    const std::string empty = (folder / "empty_IMG_.bin").string();
    std::ofstream(empty).flush();
    const QString missing = QString::fromStdString((folder / "missing_FW_.bin").string());
    const std::vector<QStringList> cases{
        {"--bogus"},
        {"--wait", "soon"},
        {"--firmware"},
        {"--firmware", missing},
        {"--image", QString::fromStdString(empty)},
        {"--image", QString::fromStdString(folder.string())},
    };
    for (const QStringList& arguments : cases) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        UpdateRun run(arguments, folder);
        EXPECT_EQ(run.exitCode(10000), 2);
        EXPECT_EQ(run.output, "");
        EXPECT_TRUE(run.errors.starts_with("Error: ")) << run.errors;
        EXPECT_NE(run.errors.find(": "), std::string::npos);
    }

    // The current folder's DevInfo.DAT comes first, as for the window.
    std::ofstream(folder / "DevInfo.DAT") << std::string(53, ' ') + "X" + std::string(95, ' ');
    UpdateRun badTable({}, folder);
    EXPECT_EQ(badTable.exitCode(10000), 2);
    EXPECT_NE(badTable.errors.find("has a bad row"), std::string::npos) << badTable.errors;

    EXPECT_EQ(countEvents(*sim, "ctl", "image-erased"), 0);
}

// The vendor's signatures, checked before a controller is touched: a signed package updates and
// tells what was checked; each way a signature can fail ends with 2, says why and leaves a row.
TEST_F(LumaroUpdateOnSim, SignedFilesUpdateAndFilesWhoseSignatureFailsEndWithTwoBeforeTheErase)
{
    const fs::path program = folder / "program";
    const fs::path dist = kDistFolder.toStdString();
    fs::create_directories(program / "Record");
    fs::create_directories(program / "Keys");
    fs::copy(dist / "Firmware", program / "Firmware", fs::copy_options::recursive);
    fs::copy_file(dist / "DevInfo.DAT", program / "DevInfo.DAT");
    fs::copy_file(kLumaroUpdate.toStdString(), program / "lumaro-update");
    const TestSigningKey vendor = repositoryTestKey();
    trustKey((program / "Keys").string(), vendor, "vendor");
    const std::string firmware = (program / "Firmware/Tessaray_FW_1.0.3.bin").string();
    const std::string image = (program / "Firmware/Tessaray_IMG_1.0.3.bin").string();
    const auto bytes = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string{std::istreambuf_iterator<char>(in), {}};
    };
    const std::string firmwareBytes = bytes(firmware);
    const auto rewrite = [](const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; };
    struct Case {
        const char* name;
        std::function<void()> prepare;  // after both files were signed
        std::string error;              // a part of the reason; empty: the update is done
    };
    const std::vector<Case> cases{
        {"signed", [] {}, ""},
        {"a byte changed", [&] { rewrite(image, bytes(image) + "x"); }, "Tessaray_IMG_1.0.3.bin.minisig does not match"},
        {"an untrusted key", [&] { signWithMinisign(firmware, freshTestKey()); }, "which is not a trusted key"},
        {"renamed to another version",
         [&] {
             const std::string newer = (program / "Firmware/Tessaray_FW_1.0.9.bin").string();
             fs::rename(firmware, newer);
             fs::rename(firmware + ".minisig", newer + ".minisig");
         },
         "Tessaray_FW_1.0.9.bin.minisig was made for another file"},
        {"malformed", [&] { rewrite(firmware + ".minisig", "trusted comment: file:Tessaray_FW_1.0.3.bin\n"); }, "is malformed"},
        {"unsigned where signatures are required",
         [&] {
             fs::remove(image + ".minisig");
             rewrite((program / "Keys/require-signatures").string(), "");
         },
         "no signature Tessaray_IMG_1.0.3.bin.minisig beside it"},
    };
    start({"--controller", quick("ctl")});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const auto& entry : fs::directory_iterator(program / "Firmware")) fs::remove(entry.path());
        fs::remove(program / "Keys/require-signatures");
        rewrite(firmware, firmwareBytes);
        fs::copy_file(dist / "Firmware/Tessaray_IMG_1.0.3.bin", image);
        signWithMinisign(firmware, vendor);
        signWithMinisign(image, vendor);
        c.prepare();
        UpdateRun run({"--json"}, folder, QString::fromStdString((program / "lumaro-update").string()));
        if (c.error.empty()) {
            const auto started = run.nextEvent("start", kUnitLimitMs);
            ASSERT_TRUE(started);
            const QJsonObject signature = started->value("firmware").toObject().value("signature").toObject();
            EXPECT_EQ(signature.value("keyId").toString().toStdString(), keyIdText(vendor.id));
            EXPECT_TRUE(signature.value("trustedComment").toString().contains("\tfile:Tessaray_FW_1.0.3.bin"));
            EXPECT_EQ(run.exitCode(kUnitLimitMs), 0) << run.errors;
            continue;
        }
        const int erasedBefore = countEvents(*sim, "ctl", "image-erased");
        EXPECT_EQ(run.exitCode(10000), 2);
        EXPECT_NE(run.errors.find("signature"), std::string::npos) << run.errors;
        EXPECT_NE(run.errors.find(c.error), std::string::npos) << run.errors;
        EXPECT_EQ(countEvents(*sim, "ctl", "image-erased"), erasedBefore);
        std::ifstream history(program / "Record/UpdateHistory.csv", std::ios::binary);
        const std::string rows{std::istreambuf_iterator<char>(history), {}};
        EXPECT_NE(rows.find(c.error), std::string::npos) << rows;
    }
}

TEST_F(LumaroUpdateOnSim, NoControllerEndsWithThreeAtOnceOrAfterTheWait)
{
    start({"--controller", quick("ctl", ",unplugged")});
    UpdateRun now({}, folder);
    EXPECT_EQ(now.exitCode(10000), 3);
    EXPECT_NE(now.errors.find("plug one in"), std::string::npos) << now.errors;

    const auto start = Clock::now();
    UpdateRun waiting({"--wait", "1"}, folder);
    EXPECT_EQ(waiting.exitCode(10000), 3);
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    EXPECT_GE(took, 1000);
    EXPECT_LT(took, 5000);
}

TEST_F(LumaroUpdateOnSim, WaitingTakesTheControllerAsItIsPluggedIn)
{
    start({"--controller", quick("ctl", ",unplugged")});
    UpdateRun run({"--wait", "20", "--json"}, folder);
    ASSERT_TRUE(run.nextEvent("waiting", 5000));
    EXPECT_EQ(sim->control("plug ctl"), "ok");
    const auto result = run.nextEvent("result", kUnitLimitMs);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->value("result").toString(), "done");
    EXPECT_EQ(run.exitCode(5000), 0);
}

TEST_F(LumaroUpdateOnSim, CtrlCEndsAWaitAtOnceButAnUpdateOnlyWhenPressedTwice)
{
    start({"--controller", quick("ctl", ",unplugged"), "--controller", "busy,erase-ms=5000,unplugged"});
    {
        UpdateRun idle({"--repeat", "--json"}, folder);
        ASSERT_TRUE(idle.nextEvent("waiting", 5000));
        idle.interrupt();
        EXPECT_EQ(idle.exitCode(3000), 130);  // no unit was done
    }

    EXPECT_EQ(sim->control("plug busy"), "ok");
    UpdateRun run({"--json"}, folder);
    for (;;) {  // the erase takes 5 s: Ctrl+C comes while the controller erases
        const auto step = run.nextEvent("step", 5000);
        ASSERT_TRUE(step);
        if (step->value("text").toString().startsWith("Start to clear image data")) break;
    }
    run.interrupt();
    EXPECT_NE(run.readErrors(3000).find("Press Ctrl+C again"), std::string::npos) << run.errors;
    EXPECT_TRUE(run.running());
    run.interrupt();
    const auto result = run.nextEvent("result", 3000);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->value("result").toString(), "interrupted");
    EXPECT_EQ(run.exitCode(3000), 130);
    EXPECT_EQ(countEvents(*sim, "busy", "image-start"), 0);
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
