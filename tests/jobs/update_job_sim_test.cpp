// The update job against the simulated controller: what arrives in its image flash, the progress
// the record count gives, the stop, the faults the simulator can put in the way, each ending in
// the failed screen within its deadline, and an update disk that comes late.
#include "update_job_support.h"

#include "jobs/update_job.h"
#include "link/link_requests.h"
#include "platform/core/utf8_path.h"
#include "minisign_signer.h"
#include "signing/minisign_format.h"
#include "sim_process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

namespace {

using lumaro::test::JobFiles;
using lumaro::test::RecordingScreen;
using lumaro::test::SimProcess;
using Clock = std::chrono::steady_clock;

std::vector<std::uint8_t> bytesOf(const std::string& path) {
    std::ifstream in(platform::utf8Path(path), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class UpdateJobOnSim : public ::testing::Test {
protected:
    static bool fortyFold(int ms) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms / 40));
        return true;
    }

    void TearDown() override {
        Close_HidDevice();
        jobBusy = false;
    }

    // Plugs in a controller with the given keys and runs one update of imageBytes to its end;
    // returns how long the job took. By default the fixed waits are shortened forty-fold: still
    // long enough for the simulated disk to appear.
    std::chrono::milliseconds run(const std::string& keys, std::size_t imageBytes, JobWait wait = fortyFold) {
        sim.emplace(std::vector<std::string>{"--controller", "ctl,disk-ms=20,erase-ms=20" + keys});
        sim->useBus();
        EXPECT_TRUE(Find_HidDevice("VID_1FC9&PID_0003") && Open_HidDevice());
        RequestTimeouts quick;
        quick.eraseAckMs = 1000;
        LinkRequests link(controllerLink(), [this](const std::string& line) { screen.log(line); }, {}, quick);
        UpdateJob job({"LPC1764", files.firmware, image.empty() ? files.image(imageBytes) : image, true, {}, "TC-100",
                       "VID_1FC9&PID_0003", {}, {}, {}, keysFolder},
                      link.requests(), screen, jobBusy,
                      std::move(wait));
        const auto start = Clock::now();
        job.RunUpdateJob();
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    }
    bool hadEvent(const std::string& event) const {
        for (const auto& record : sim->records())
            if (record.event == event) return true;
        return false;
    }
    const lumaro::test::SimRecord* event(const std::string& name) const {
        records_ = sim->records();
        for (const auto& record : records_)
            if (record.event == name) return &record;
        return nullptr;
    }

    JobFiles files;
    std::string image;       // the image data file, when not one of run's size
    std::string keysFolder;  // the trusted keys; empty: none
    RecordingScreen screen;
    std::optional<SimProcess> sim;
    mutable std::vector<lumaro::test::SimRecord> records_;
};

TEST_F(UpdateJobOnSim, AnImageOf810BytesArrivesAs16RecordsAndTheFirmwareIsTaken) {
    run("", 810);
    EXPECT_TRUE(screen.has("done"));
    std::vector<std::uint8_t> expected = bytesOf(files.image(810));
    expected.resize(16 * 54, 0);  // the last record is all zeros
    EXPECT_EQ(sim->imageData("ctl"), expected);
    const auto* start = event("image-start");
    ASSERT_NE(start, nullptr);
    EXPECT_EQ(start->fields.at("digit1"), "1");
    EXPECT_EQ(start->fields.at("digit2"), "0");
    const auto* end = event("image-end");
    ASSERT_NE(end, nullptr);
    EXPECT_EQ(end->fields.at("records"), "16");
    const auto* updated = event("firmware-updated");
    ASSERT_NE(updated, nullptr);
    EXPECT_EQ(updated->fields.at("bytes"), std::to_string(files.firmwareContents.size()));
    EXPECT_FALSE(jobBusy);
}

TEST_F(UpdateJobOnSim, TheProgressBarFollowsTheRecordCount) {
    std::vector<int> expected{10, 20, 40};
    for (int k = 0; k <= 80; ++k) expected.push_back(40 + 4 * k);
    expected.insert(expected.end(), {365, 375, 385, 395, 401});
    // 149 records: one step per record up to 80; 801 records: one step per 10, the last at record 800.
    for (std::size_t bytes : {8000, 43200}) {
        screen.clear();
        run("", bytes);
        EXPECT_EQ(screen.widths(), expected) << bytes;
    }

    screen.clear();
    run("", 2000);  // 38 records: the bar stays at 40 until the end request
    EXPECT_EQ(screen.widths(), (std::vector<int>{10, 20, 40, 40, 365, 375, 385, 395, 401}));
}

TEST_F(UpdateJobOnSim, ClearingJobBusyStopsTheSendingAndNothingMoreIsSent) {
    screen.onProgress = [](int width) {
        if (width == 60) jobBusy = false;  // shown before record 5 of 149
    };
    run("", 8000);
    EXPECT_FALSE(hadEvent("image-end"));
    EXPECT_FALSE(hadEvent("bootloader-mode"));
    EXPECT_EQ(sim->imageData("ctl").size(), 6u * 54);  // record 5 went out before the stop was seen
    EXPECT_FALSE(screen.has("failed") || screen.has("done") || screen.has("buttons"));
    EXPECT_FALSE(jobBusy);
}

TEST_F(UpdateJobOnSim, FaultsEndInTheFailedScreenWithinTheirDeadline) {
    struct Case {
        std::string keys;
        std::string lineStart;
        int limitMs;
    };
    const Case cases[] = {
        {",fault=no-ack", "Error -> Erase image flash fail: no acknowledgement in time", 2500},
        {",unplug-after=10", "Error -> Send image data record 7 fail: ", 2500},
        {",disk=none", "Error -> No update disk appeared within 60 s", 4000},
        {",disk=refuse", "Error -> Copy firmware to the update disk fail: ", 2500},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keys);
        screen.clear();
        const auto took = run(c.keys, 2000);
        EXPECT_LT(took.count(), c.limitMs);
        EXPECT_TRUE(screen.has("failed"));
        EXPECT_FALSE(screen.has("done"));
        const auto lines = screen.logLines();
        ASSERT_FALSE(lines.empty());
        EXPECT_TRUE(lines.back().starts_with(c.lineStart)) << lines.back();
        EXPECT_EQ(screen.has("caption Start Update Firmware"), c.keys == ",fault=no-ack");
        EXPECT_FALSE(jobBusy);
        Close_HidDevice();
    }
}

// The first time a PC meets the update disk, Windows installs its driver before the disk shows.
// Here the job's waits keep real time, but for the wait after the end, which is not measured.
TEST_F(UpdateJobOnSim, AnUpdateDiskThatShows20SecondsAfterTheSwitchIsWaitedFor) {
    const auto took = run(",disk-ms=20000", 810, [](int ms) {
        if (ms != kFinishWaitMs) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        return true;
    });
    EXPECT_TRUE(screen.has("done"));
    EXPECT_TRUE(hadEvent("firmware-updated"));
    const auto lines = screen.logLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Waiting for the update disk ..."), 1);
    EXPECT_GE(took.count(), 20000);
    EXPECT_LT(took.count(), 25000);
}

TEST_F(UpdateJobOnSim, WrongAcknowledgementsAreWaitedPast) {
    run(",wrong-acks=5", 810);
    EXPECT_TRUE(screen.has("done"));
    EXPECT_EQ(sim->imageData("ctl").size(), 16u * 54);
}

// The window's update checks the vendor's signatures before the erase: a signed package goes, and
// each way a signature can fail stops the job before the controller is touched, naming it.
TEST_F(UpdateJobOnSim, SignedFilesGoAndFilesWhoseSignatureFailsAreRefusedBeforeTheErase) {
    namespace fs = std::filesystem;
    using lumaro::test::signWithMinisign;
    const lumaro::test::TestSigningKey vendor = lumaro::test::repositoryTestKey();
    keysFolder = platform::utf8String(files.dir / "Keys");
    fs::create_directory(platform::utf8Path(keysFolder));
    lumaro::test::trustKey(keysFolder, vendor, "vendor");
    image = files.image(810);
    const auto rewrite = [](const std::string& path, const std::string& text) {
        std::ofstream(platform::utf8Path(path), std::ios::binary) << text;
    };
    struct Case {
        const char* name;
        std::function<void()> prepare;  // after both files were signed
        std::string lineStart;          // empty: the update is done
    };
    const std::string firmwareRefused = "Error -> Firmware file: signature " + files.firmware + ".minisig ";
    const std::vector<Case> cases{
        {"signed", [] {}, ""},
        {"a byte changed", [&] { rewrite(image, std::string(810, 'x')); },
         "Error -> Image data file: signature " + image + ".minisig does not match"},
        {"an untrusted key", [&] { signWithMinisign(files.firmware, lumaro::test::freshTestKey()); },
         firmwareRefused + "was made with key"},
        {"renamed to another version",
         [&] {
             const std::string older = platform::utf8String(files.dir / "Tessaray_FW_1.0.3.bin");
             rewrite(older, files.firmwareContents);
             signWithMinisign(older, vendor);
             fs::rename(platform::utf8Path(older + ".minisig"), platform::utf8Path(files.firmware + ".minisig"));
         },
         firmwareRefused + "was made for another file"},
        {"malformed", [&] { rewrite(files.firmware + ".minisig", "untrusted comment: signature\n"); },
         firmwareRefused + "is malformed"},
        {"unsigned where signatures are required",
         [&] {
             fs::remove(platform::utf8Path(files.firmware + ".minisig"));
             rewrite(keysFolder + "/require-signatures", "");
         },
         "Error -> Firmware file: no signature Tessaray_FW_1.0.4.bin.minisig beside it"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        rewrite(files.firmware, files.firmwareContents);
        image = files.image(810);
        signWithMinisign(files.firmware, vendor);
        signWithMinisign(image, vendor);
        c.prepare();
        screen.clear();
        run("", 810);
        const auto lines = screen.logLines();
        ASSERT_FALSE(lines.empty());
        if (c.lineStart.empty()) {
            EXPECT_TRUE(screen.has("done"));
            const std::string told = "Signatures: firmware: key " + keyIdText(vendor.id) + ", trusted comment \"timestamp:";
            EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.starts_with(told); }));
        } else {
            EXPECT_TRUE(screen.has("failed"));
            EXPECT_TRUE(lines.back().starts_with(c.lineStart)) << lines.back();
            EXPECT_FALSE(hadEvent("image-erased"));
        }
        Close_HidDevice();
    }
}

}  // namespace
