// The requests against a minimal controller on the virtual bus, written in the test: it records what
// the program sends and answers with whatever each test queues, late, or not at all.
#include "link/controller_requests.h"
#include "temporary_bus.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

namespace {

using platform::Report;

using namespace std::chrono_literals;
using platform::HidAccess;
using platform::HidHandle;
using Clock = std::chrono::steady_clock;

const std::string kTransferReadError = "ReadFile Error !! ==> Transfer_Flash_ImgData";
const std::string kStartReadError = "ReadFile Error !! ==> Send_FlashImgData_Start";

Report replyWith(std::vector<std::pair<std::size_t, std::uint8_t>> bytes) {
    Report reply{};
    for (auto [offset, value] : bytes) reply[offset] = value;
    return reply;
}

Report ackOf(std::uint8_t command) { return replyWith({{1, 0xA9}, {5, command}, {6, 0x06}, {7, 0x0D}}); }

Report frameOf(std::uint8_t command, std::span<const std::uint8_t> payload = {}) {
    Report frame{};
    Build_Packet(frame, command, payload);
    return frame;
}

// A controller plugged into a fresh bus, with the program's two handles already open on it.
class ControllerOnBus {
public:
    ControllerOnBus() {
        platform::OsError error = 1;
        writeHandle = HidHandle::open(device_.path(), HidAccess::Write, error);
        EXPECT_EQ(error, platform::kOk);
        requestsEnd_ = acceptWith('w');
        readHandle = HidHandle::open(device_.path(), HidAccess::Read, error);
        EXPECT_EQ(error, platform::kOk);
        repliesEnd_ = acceptWith('r');
    }
    ~ControllerOnBus() {
        if (responder_.joinable()) responder_.join();  // a test that failed before taking its answer
        unplug();
    }
    ControllerOnBus(const ControllerOnBus&) = delete;
    ControllerOnBus& operator=(const ControllerOnBus&) = delete;

    void reply(const Report& report) const { ASSERT_TRUE(repliesEnd_.send(report)); }

    // The next report the program wrote; all zeros when none came within a second.
    Report nextRequest() const { return requestsEnd_.receive(1000).value_or(Report{}); }

    // Answers the next request with reply once it has arrived, as the controller does; answered()
    // then gives the request.
    void answerNext(const Report& reply) {
        responder_ = std::thread([this, reply] {
            request_ = nextRequest();
            this->reply(reply);
        });
    }
    Report answered() {
        responder_.join();
        return request_;
    }

    // The controller stops answering: reads see it gone, writes still reach it.
    void stopAnswering() { repliesEnd_.close(); }
    void unplug() {
        requestsEnd_.close();
        repliesEnd_.close();
    }

    HidHandle writeHandle;
    HidHandle readHandle;

private:
    bustest::DeviceEnd acceptWith(char expectedAccess) const {
        char access = 0;
        bustest::DeviceEnd end = device_.accept(access);
        EXPECT_EQ(access, expectedAccess);
        return end;
    }

    bustest::TemporaryBus bus_;
    bustest::ListeningInterface device_{bus_, "ctl", "HID\\VID_1FC9&PID_0003&REV_0100\n"};
    std::thread responder_;
    Report request_{};
    bustest::DeviceEnd requestsEnd_;
    bustest::DeviceEnd repliesEnd_;
};

class Requests : public ::testing::Test {
protected:
    static constexpr RequestTimeouts kShort{.writeMs = 200, .dataReplyMs = 150, .eraseAckMs = 400,
                                            .startAckMs = 5000, .recordAckMs = 250, .pollSliceMs = 20};

    ControllerOnBus controller;
    HidHandlePair channel{controller.writeHandle, controller.readHandle};
    Report packetBuffer{};
    platform::OsError lastIoError = platform::kOk;
    std::atomic<bool> jobBusy{true};
    std::vector<std::string> log;
    int waits = 0;
    std::function<void()> onWait;
    ControllerRequests requests{channel, packetBuffer, lastIoError, jobBusy,
                                [this](const std::string& line) { log.push_back(line); },
                                [this](int ms) {
                                    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
                                    ++waits;
                                    if (onWait) onWait();
                                },
                                kShort};
};

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

TEST_F(Requests, MeasurementsAreDecodedFromAcceptedReplies) {
    controller.answerNext(replyWith({{1, 0xA9}, {6, 24}, {7, 249}, {8, 100}, {9, 0x5C}}));
    EXPECT_EQ(requests.Get_Temperature(2), (TemperatureReading{125, -40, 60}));
    EXPECT_EQ(controller.answered(), frameOf(CmdGetTemperature));

    controller.answerNext(replyWith({{1, 0xA9}, {6, 0x34}, {7, 0x12}, {29, 0x01}, {31, 0x5C}}));
    const ChannelReading channels = requests.Get_AllChannel();
    EXPECT_EQ(controller.answered(), frameOf(CmdGetAllChannel));
    EXPECT_EQ(channels.ch[0], 0x1234);
    EXPECT_EQ(channels.ch[11], 0x0100);

    controller.answerNext(replyWith({{1, 0xA9}, {6, 200}, {7, 0x80}, {9, 0x5C}}));
    EXPECT_EQ(requests.Get_FanSpeed(), 1500);
    EXPECT_EQ(controller.answered(), frameOf(CmdGetFanSpeed));
    EXPECT_TRUE(log.empty());
}

TEST_F(Requests, BadRepliesGiveZeroAndTheirReceiveText) {
    controller.answerNext(replyWith({{1, 0xA9}, {6, 0x34}, {9, 0x5C}}));  // end byte where a short reply has it
    EXPECT_EQ(requests.Get_AllChannel(), ChannelReading{});
    controller.answered();
    controller.answerNext(replyWith({{1, 0xA8}, {6, 30}, {9, 0x5C}}));
    EXPECT_EQ(requests.Get_Temperature(1), TemperatureReading{});
    controller.answered();
    controller.answerNext(replyWith({{1, 0xA9}, {6, 200}, {8, 0x5C}}));
    EXPECT_EQ(requests.Get_FanSpeed(), 0);  // has no receive text
    controller.answered();
    EXPECT_EQ(log, (std::vector<std::string>{"Error -> Receive get all channel packet from USB Fail !!",
                                             "Error -> Receive packet from USB Fail !!"}));
}

TEST_F(Requests, ReplyThatComesTooLateIsNotTakenForTheNextOne) {
    EXPECT_EQ(requests.Get_Temperature(1), TemperatureReading{});
    controller.reply(replyWith({{1, 0xA9}, {6, 24}, {7, 24}, {9, 0x5C}}));  // the late temperature
    controller.answerNext(replyWith({{1, 0xA9}, {6, 7}, {31, 0x5C}}));
    EXPECT_EQ(requests.Get_AllChannel().ch[0], 7);
    controller.answered();
    EXPECT_TRUE(log.empty());
}

TEST_F(Requests, SilentControllerGivesZeroAfterAboutTheReadLimitWithoutLog) {
    const auto start = Clock::now();
    EXPECT_EQ(requests.Get_Temperature(1), TemperatureReading{});
    EXPECT_GE(secondsSince(start), 0.15);
    EXPECT_LT(secondsSince(start), 2.0);
    EXPECT_EQ(lastIoError, platform::kErrorTimeout);
    EXPECT_TRUE(log.empty());
}

TEST_F(Requests, EraseWaitsPastOtherRepliesForItsOwnAcknowledgement) {
    controller.reply(replyWith({{1, 0xA9}, {9, 0x5C}}));
    controller.reply(ackOf(CmdFlashImgData));  // 06 0D, but for another command
    std::thread late([&] {
        std::this_thread::sleep_for(150ms);  // several poll slices later
        controller.reply(ackOf(CmdEraseFlashImg));
    });
    EXPECT_EQ(requests.Erase_Flash_ImgData(), AckResult::Acknowledged);
    late.join();
    EXPECT_EQ(controller.nextRequest(), frameOf(CmdEraseFlashImg));
    EXPECT_EQ(log, std::vector<std::string>{"Erase flash finish !"});
    EXPECT_GE(waits, 2);
}

TEST_F(Requests, EraseWithoutARunningJobWritesButReadsNothing) {
    jobBusy = false;
    controller.reply(ackOf(CmdEraseFlashImg));
    EXPECT_EQ(requests.Erase_Flash_ImgData(), AckResult::Stopped);
    EXPECT_EQ(controller.nextRequest(), frameOf(CmdEraseFlashImg));
    Report stillQueued{};
    EXPECT_EQ(controller.readHandle.read(stillQueued, 0), platform::kOk);
    EXPECT_TRUE(isAcknowledgement(stillQueued, CmdEraseFlashImg));
    EXPECT_TRUE(log.empty());
}

TEST_F(Requests, SilentControllerEndsPollingAtTheRequestsDeadline) {
    auto start = Clock::now();
    EXPECT_EQ(requests.Erase_Flash_ImgData(), AckResult::NoAcknowledgement);
    EXPECT_GE(secondsSince(start), 0.4);
    EXPECT_LT(secondsSince(start), 2.0);
    EXPECT_TRUE(log.empty());

    const std::array<std::uint8_t, IMAGE_RECORD_SIZE> record{};
    start = Clock::now();
    EXPECT_EQ(requests.Transfer_Flash_ImgData(7, record), AckResult::NoAcknowledgement);
    EXPECT_GE(secondsSince(start), 0.25);
    EXPECT_LT(secondsSince(start), 2.0);
    EXPECT_EQ(log, std::vector<std::string>{kTransferReadError});  // once, not once per poll
}

TEST_F(Requests, ControllerThatLeavesEndsPollingAtOnce) {
    controller.stopAnswering();
    const auto start = Clock::now();
    EXPECT_EQ(requests.Send_FlashImgData_Start(false, 163), AckResult::DeviceGone);
    EXPECT_LT(secondsSince(start), 2.0);  // its deadline is five seconds
    EXPECT_EQ(controller.nextRequest(), frameOf(CmdFlashImgDataStart, startPayload(163)));
    EXPECT_EQ(log, std::vector<std::string>{kStartReadError});
    EXPECT_EQ(lastIoError, platform::kErrorDeviceNotConnected);

    log.clear();
    EXPECT_EQ(requests.Erase_Flash_ImgData(), AckResult::DeviceGone);
    EXPECT_TRUE(log.empty());
}

TEST_F(Requests, UnpluggedControllerFailsEveryWriteAndNothingIsRead) {
    controller.unplug();
    EXPECT_EQ(requests.Get_Temperature(1), TemperatureReading{});
    EXPECT_EQ(lastIoError, platform::kErrorDeviceNotConnected);
    EXPECT_EQ(requests.Get_AllChannel(), ChannelReading{});
    EXPECT_EQ(requests.Get_FanSpeed(), 0);
    EXPECT_EQ(log, (std::vector<std::string>{"Error -> Send packet to USB Fail !!",
                                             "Error -> Send get all channel packet to USB Fail !!",
                                             "Error -> Send get all channel packet to USB Fail !!"}));
    log.clear();
    const std::array<std::uint8_t, IMAGE_RECORD_SIZE> record{};
    EXPECT_EQ(requests.Transfer_Flash_ImgData(0, record), AckResult::WriteFailed);
    EXPECT_EQ(requests.Send_FlashImgData_Start(true, 0), AckResult::WriteFailed);
    EXPECT_EQ(requests.Erase_Flash_ImgData(), AckResult::WriteFailed);
    EXPECT_FALSE(requests.Send_BootLoaderMode());
    EXPECT_EQ(waits, 0);
    EXPECT_TRUE(log.empty());
}

TEST_F(Requests, ClearingJobBusyStopsPolling) {
    onWait = [&] {
        if (waits == 3) jobBusy = false;
    };
    const auto start = Clock::now();
    EXPECT_EQ(requests.Send_FlashImgData_Start(false, 20), AckResult::Stopped);
    EXPECT_LT(secondsSince(start), 2.0);
    EXPECT_EQ(waits, 3);
    EXPECT_TRUE(log.empty());
}

TEST_F(Requests, ImageTransferRequestsTravelAsFramed) {
    std::array<std::uint8_t, IMAGE_RECORD_SIZE> record{};
    record.fill(0x5A);
    controller.reply(ackOf(CmdFlashImgData));
    EXPECT_EQ(requests.Transfer_Flash_ImgData(0x0102, record), AckResult::Acknowledged);
    EXPECT_EQ(controller.nextRequest(), frameOf(CmdFlashImgData, recordPayload(0x0102, record)));

    controller.reply(ackOf(CmdFlashImgDataStart));
    EXPECT_EQ(requests.Send_FlashImgData_Start(true, 163), AckResult::Acknowledged);
    EXPECT_EQ(controller.nextRequest(), frameOf(CmdFlashImgDataStart, endPayload()));

    EXPECT_TRUE(requests.Send_BootLoaderMode());
    EXPECT_EQ(controller.nextRequest(), frameOf(CmdBootLoaderMode));
    EXPECT_TRUE(log.empty());
}

// A channel whose reads fail with a passing fault (not a timeout, not a departure) before the
// acknowledgement comes.
class FlakyChannel final : public PacketChannel {
public:
    explicit FlakyChannel(int failures) : failures_(failures) {}
    platform::OsError write(const Report& report, int) override {
        command_ = report[5];
        return platform::kOk;
    }
    platform::OsError read(Report& report, int) override {
        if (failures_-- > 0) return platform::kErrorGenFailure;
        report = ackOf(command_);
        return platform::kOk;
    }

private:
    int failures_;
    std::uint8_t command_ = 0;
};

TEST(RequestsOverAFlakyChannel, RecordsRetryAfterAFailedReadButTheEraseGivesUp) {
    FlakyChannel channel(3);
    Report packetBuffer{};
    platform::OsError lastIoError = platform::kOk;
    std::atomic<bool> jobBusy{true};
    std::vector<std::string> log;
    ControllerRequests requests(channel, packetBuffer, lastIoError, jobBusy,
                                [&](const std::string& line) { log.push_back(line); }, [](int) {});
    const std::array<std::uint8_t, IMAGE_RECORD_SIZE> record{};
    EXPECT_EQ(requests.Transfer_Flash_ImgData(1, record), AckResult::Acknowledged);
    EXPECT_EQ(log, std::vector<std::string>{kTransferReadError});

    FlakyChannel eraseChannel(1);
    ControllerRequests eraseRequests(eraseChannel, packetBuffer, lastIoError, jobBusy,
                                     [&](const std::string& line) { log.push_back(line); }, [](int) {});
    EXPECT_EQ(eraseRequests.Erase_Flash_ImgData(), AckResult::ReadFailed);
    EXPECT_EQ(lastIoError, platform::kErrorGenFailure);
    EXPECT_EQ(log.size(), 1u);
}

}  // namespace
