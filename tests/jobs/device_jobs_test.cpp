// The erase and reset jobs against the simulator: the controller's image flash over the link, the
// "47J53" board through the bootloader library, and the log lines and ends of every road.
#include "bootloader/zerlin.h"
#include "jobs/erasethread.h"
#include "jobs/job_record.h"
#include "jobs/resetthread.h"
#include "sim_process.h"
#include "temporary_folder.h"

#include <gtest/gtest.h>

#include <mutex>

namespace {

using lumaro::test::SimProcess;

const std::string kControllerVidPid = "VID_1FC9&PID_0003";
const std::string kBoardVidPid = "VID_04D8&PID_003C";

class RecordingPage final : public EngineeringPage {
public:
    void log(const std::string& line) override { lines.push_back(line); }
    void enableEraseButton() override { lines.push_back("[erase button]"); }
    void enableResetButton() override { lines.push_back("[reset button]"); }
    std::vector<std::string> lines;
};

class DeviceJobs : public ::testing::Test {
protected:
    void start(const std::vector<std::string>& devices) {
        sim.emplace(devices);
        sim->useBus();
    }
    void TearDown() override {
        Close_HidDevice();
        jobBusy = false;
    }
    void erase(const std::string& chipType, const std::string& vidPid) {
        RequestTimeouts quick;
        quick.eraseAckMs = 500;
        LinkRequests link(controllerLink(), [this](const std::string& line) { page.log(line); }, {}, quick);
        jobBusy = true;
        RunEraseJob({chipType, vidPid}, link.requests(), page, jobBusy);
    }
    std::size_t reportsReceived() const {
        std::size_t count = 0;
        for (const auto& record : sim->records()) count += record.dir == "out";
        return count;
    }

    std::optional<SimProcess> sim;
    RecordingPage page;
};

TEST_F(DeviceJobs, ImageFlashEraseWaitsPastOtherRepliesForItsAcknowledgement) {
    start({"--controller", "ctl,erase-ms=20,wrong-acks=1"});
    ASSERT_TRUE(Find_HidDevice(kControllerVidPid) && Open_HidDevice());
    erase("LPC1764", kControllerVidPid);
    EXPECT_EQ(page.lines, (std::vector<std::string>{"Start to erase image flash .... ", "Erase flash finish !",
                                                    "Erase image flash OK .... ", "[erase button]"}));
    EXPECT_FALSE(jobBusy);
}

TEST_F(DeviceJobs, ImageFlashEraseThatIsNotAcknowledgedFails) {
    start({"--controller", "ctl,fault=no-ack"});
    ASSERT_TRUE(Find_HidDevice(kControllerVidPid) && Open_HidDevice());
    erase("LPC1764", kControllerVidPid);
    EXPECT_EQ(page.lines, (std::vector<std::string>{"Start to erase image flash .... ", "Erase image flash fail .... ",
                                                    "[erase button]"}));
    EXPECT_FALSE(jobBusy);
}

TEST_F(DeviceJobs, BoardEraseGoesThroughTheLibraryWithTheLinkClosed) {
    start({"--board", "board,erase-ms=20"});
    ASSERT_TRUE(Find_HidDevice(kBoardVidPid) && Open_HidDevice());
    erase("47J53", kBoardVidPid);
    EXPECT_EQ(page.lines, (std::vector<std::string>{"Start to erase device .... ", "Erase image device OK .... ",
                                                    "[erase button]"}));
    EXPECT_TRUE(sim->waitForEvent("board", "erased"));
    EXPECT_FALSE(controllerLink().writeHandle.isOpen());
    EXPECT_FALSE(controllerLink().readHandle.isOpen());
    EXPECT_FALSE(jobBusy);
}

TEST_F(DeviceJobs, BoardNotFoundIsLoggedAndEndsTheErase) {
    start({"--board", "board,unplugged"});
    erase("47J53", "VID_04D8&PID_0099");
    EXPECT_EQ(page.lines,
              (std::vector<std::string>{"Error -> Device VID_04D8&PID_0099 not found !!", "[erase button]"}));
}

// A board found by an earlier job stays on the bus, but a search for another model finds nothing:
// neither job may reach the board of the earlier search.
TEST_F(DeviceJobs, AFailedSearchEndsTheEraseAndResetBeforeTheyReachAnEarlierBoard) {
    start({"--board", "board,erase-ms=20,reset-ms=20"});
    ASSERT_EQ(M47J53_SetUSBHandle(kBoardVidPid.c_str()), 1);
    const std::string otherModel = "VID_04D8&PID_0099";
    erase("47J53", otherModel);
    EXPECT_EQ(page.lines, (std::vector<std::string>{"Error -> Device " + otherModel + " not found !!", "[erase button]"}));
    EXPECT_FALSE(jobBusy);

    page.lines.clear();
    jobBusy = true;
    RunResetJob({"47J53", otherModel}, page, jobBusy);
    EXPECT_EQ(page.lines, (std::vector<std::string>{"Error -> Device " + otherModel + " not found !!", "[reset button]"}));
    EXPECT_FALSE(jobBusy);
    EXPECT_EQ(reportsReceived(), 0u) << "the board of the earlier search was erased or reset";
}

TEST_F(DeviceJobs, ResetRestartsABoardAndLeavesOtherControllersAlone) {
    start({"--board", "board,reset-ms=20", "--controller", "ctl"});
    jobBusy = true;
    RunResetJob({"47J53", kBoardVidPid}, page, jobBusy);
    EXPECT_EQ(page.lines, (std::vector<std::string>{"Start to reset device .... ", "[reset button]"}));
    EXPECT_TRUE(sim->waitForEvent("board", "reset"));
    EXPECT_FALSE(jobBusy);

    page.lines.clear();
    const std::size_t before = reportsReceived();
    ASSERT_TRUE(Find_HidDevice(kControllerVidPid) && Open_HidDevice());
    jobBusy = true;
    RunResetJob({"LPC1764", kControllerVidPid}, page, jobBusy);
    EXPECT_EQ(page.lines, (std::vector<std::string>{"[reset button]"}));
    EXPECT_EQ(reportsReceived(), before);
    EXPECT_FALSE(jobBusy);
}

// Every erase and reset leaves a history row: done, or failed with the line that said so.
TEST_F(DeviceJobs, EachEraseAndResetLeavesAHistoryRow) {
    class Forward final : public EngineeringPage {
    public:
        explicit Forward(EngineeringPage& to) : to_(to) {}
        void log(const std::string& line) override { to_.log(line); }
        void enableEraseButton() override { to_.enableEraseButton(); }
        void enableResetButton() override { to_.enableResetButton(); }

    private:
        EngineeringPage& to_;
    };
    const std::filesystem::path folder = bustest::makeTemporaryFolder("device-jobs-history-");
    UpdateHistory history(folder.string());
    auto recorded = [&](const std::string& job, const std::string& chipType, const std::string& vidPid) {
        HistoryEntry known;
        known.job = job, known.chipType = chipType, known.vidPid = vidPid;
        RecordingEngineeringPage recording(std::make_unique<Forward>(page), &history, known);
        jobBusy = true;
        if (job == "erase") {
            LinkRequests link(controllerLink(), [&](const std::string& line) { recording.log(line); }, {});
            RunEraseJob({chipType, vidPid}, link.requests(), recording, jobBusy);
        } else {
            RunResetJob({chipType, vidPid}, recording, jobBusy);
        }
        const auto rows = history.lastRows(1);
        return rows.empty() ? std::string() : rows[0];
    };
    start({"--board", "board,erase-ms=20,reset-ms=20", "--controller", "ctl,erase-ms=20"});
    ASSERT_TRUE(Find_HidDevice(kControllerVidPid) && Open_HidDevice());
    EXPECT_NE(recorded("erase", "LPC1764", kControllerVidPid).find(",done,erase,,"), std::string::npos);
    EXPECT_NE(recorded("erase", "47J53", kBoardVidPid).find(",done,the library call,,"), std::string::npos);
    EXPECT_NE(recorded("reset", "47J53", kBoardVidPid).find(",done,the library call,,"), std::string::npos);
    EXPECT_NE(recorded("erase", "47J53", "VID_04D8&PID_0099")
                  .find(",failed,the library call,Error -> Device VID_04D8&PID_0099 not found !!,"),
              std::string::npos);
    EXPECT_EQ(history.lastRows(20).size(), 4u);
    EXPECT_TRUE(jobIdsIn(history.folder(), kMarkerSuffix).empty());
    std::filesystem::remove_all(folder);
}

}  // namespace
