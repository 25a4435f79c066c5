#include "controller_requests.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using platform::OsError;
using platform::Report;

constexpr int kPollPauseMs = 1;
constexpr int kMostStaleReports = 64;  // a device that never stops sending cannot hold a request here

// Errors after which no reply can come any more: polling on would only repeat them.
bool isDeviceGone(OsError error) {
    return error == platform::kErrorDeviceNotConnected || error == platform::kErrorInvalidHandle;
}

int remainingMs(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

std::string describe(AckResult result) {
    switch (result) {
    case AckResult::Acknowledged: return "acknowledged";
    case AckResult::WriteFailed: return "request could not be sent";
    case AckResult::ReadFailed: return "reply could not be read";
    case AckResult::DeviceGone: return "controller not connected";
    case AckResult::NoAcknowledgement: return "no acknowledgement in time";
    case AckResult::Stopped: return "stopped";
    }
    return "unknown result";
}

ControllerRequests::ControllerRequests(PacketChannel& channel, Report& packetBuffer, OsError& lastIoError,
                                       std::atomic<bool>& jobBusy, LogSink log, WaitHook wait,
                                       RequestTimeouts timeouts)
    : channel_(channel),
      packet_(packetBuffer),
      lastIoError_(lastIoError),
      jobBusy_(jobBusy),
      log_(std::move(log)),
      wait_(std::move(wait)),
      timeouts_(timeouts) {}

TemperatureReading ControllerRequests::Get_Temperature(int arrayCount) {
    discardStaleReports();
    if (!send(CmdGetTemperature, {})) {
        note("Error -> Send packet to USB Fail !!");
        return {};
    }
    if (!readDataReply(kShortReplyEnd, "Error -> Receive packet from USB Fail !!")) return {};
    return decodeTemperature(packet_, arrayCount);
}

ChannelReading ControllerRequests::Get_AllChannel() {
    discardStaleReports();
    if (!send(CmdGetAllChannel, {})) {
        note("Error -> Send get all channel packet to USB Fail !!");
        return {};
    }
    if (!readDataReply(kChannelReplyEnd, "Error -> Receive get all channel packet from USB Fail !!")) return {};
    return decodeAllChannel(packet_);
}

std::int32_t ControllerRequests::Get_FanSpeed() {
    discardStaleReports();
    // The fan-speed request has always shared the all-channel request's send text and logs no bad reply.
    if (!send(CmdGetFanSpeed, {})) {
        note("Error -> Send get all channel packet to USB Fail !!");
        return 0;
    }
    if (!readDataReply(kShortReplyEnd, nullptr)) return 0;
    return decodeFanSpeed(packet_);
}

AckResult ControllerRequests::Erase_Flash_ImgData() {
    if (!send(CmdEraseFlashImg, {})) return AckResult::WriteFailed;
    const AckResult result = awaitAcknowledgement(CmdEraseFlashImg, timeouts_.eraseAckMs, nullptr);
    if (result == AckResult::Acknowledged) note("Erase flash finish !");
    return result;
}

AckResult ControllerRequests::Send_FlashImgData_Start(bool endFlag, std::int32_t recordCount) {
    const StartPayload payload = endFlag ? endPayload() : startPayload(recordCount);
    if (!send(CmdFlashImgDataStart, payload)) return AckResult::WriteFailed;
    return awaitAcknowledgement(CmdFlashImgDataStart, timeouts_.startAckMs,
                                "ReadFile Error !! ==> Send_FlashImgData_Start");
}

AckResult ControllerRequests::Transfer_Flash_ImgData(std::int32_t index,
                                                     std::span<const std::uint8_t, IMAGE_RECORD_SIZE> record) {
    const RecordPayload payload = recordPayload(index, record);
    if (!send(CmdFlashImgData, payload)) return AckResult::WriteFailed;
    return awaitAcknowledgement(CmdFlashImgData, timeouts_.recordAckMs, "ReadFile Error !! ==> Transfer_Flash_ImgData");
}

bool ControllerRequests::Send_BootLoaderMode() { return send(CmdBootLoaderMode, {}); }

void ControllerRequests::discardStaleReports() {
    for (int i = 0; i < kMostStaleReports && channel_.read(packet_, 0) == platform::kOk; ++i) {
    }
}

bool ControllerRequests::send(std::uint8_t command, std::span<const std::uint8_t> payload) {
    if (!Build_Packet(packet_, command, payload)) {
        lastIoError_ = platform::kErrorInvalidParameter;
        return false;
    }
    lastIoError_ = channel_.write(packet_, timeouts_.writeMs);
    return lastIoError_ == platform::kOk;
}

bool ControllerRequests::receive(int timeoutMs) {
    lastIoError_ = channel_.read(packet_, timeoutMs);
    return lastIoError_ == platform::kOk;
}

bool ControllerRequests::readDataReply(std::size_t endOffset, const char* receiveFailureText) {
    if (!receive(timeouts_.dataReplyMs)) return false;  // a failed or lapsed read is not logged
    if (isDataReply(packet_, endOffset)) return true;
    if (receiveFailureText != nullptr) note(receiveFailureText);
    return false;
}

AckResult ControllerRequests::awaitAcknowledgement(std::uint8_t command, int deadlineMs, const char* readFailureText) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(deadlineMs);
    bool failureLogged = false;
    auto logReadFailure = [&] {
        if (readFailureText != nullptr && !failureLogged) note(readFailureText);
        failureLogged = true;
    };
    while (jobBusy_.load()) {
        const int left = remainingMs(deadline);
        if (left == 0) {
            logReadFailure();
            return AckResult::NoAcknowledgement;
        }
        if (receive(std::min(left, timeouts_.pollSliceMs))) {
            if (isAcknowledgement(packet_, command)) return AckResult::Acknowledged;
        } else if (lastIoError_ != platform::kErrorTimeout) {
            if (isDeviceGone(lastIoError_)) {
                logReadFailure();
                return AckResult::DeviceGone;
            }
            if (readFailureText == nullptr) return AckResult::ReadFailed;
            logReadFailure();
        }
        wait(kPollPauseMs);
    }
    return AckResult::Stopped;
}

void ControllerRequests::note(const std::string& line) {
    if (log_) log_(line);
}

void ControllerRequests::wait(int ms) {
    if (wait_) {
        wait_(ms);
    } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
}
