#include "controller_firmware.h"

#include "controller_frames.h"
#include "measurements.h"

#include <span>

namespace sim {
namespace {

constexpr std::size_t kTransferPayload = 3;
constexpr std::uint8_t kTransferStart = 0x00, kTransferEnd = 0x01;
// Where the host looks for the end byte of each data reply.
constexpr std::size_t kShortReplyEnd = 9, kChannelReplyEnd = 31;

void putLe16(std::vector<std::uint8_t>& data, std::uint16_t value) {
    data.push_back(static_cast<std::uint8_t>(value));
    data.push_back(static_cast<std::uint8_t>(value >> 8));
}

}  // namespace

ControllerFirmware::ControllerFirmware(const ControllerSettings& settings) : settings_(settings) {}

FirmwareActions ControllerFirmware::handleReport(const Report& report, Clock::duration uptime) {
    FirmwareActions actions;
    const auto request = parseControllerRequest(report);
    if (!request) {
        actions.events.emplace_back("protocol-error");
        return actions;
    }
    switch (request->command) {
    case CmdGetTemperature:
    case CmdGetAllChannel:
    case CmdGetFanSpeed:
        actions.replies.push_back(measurementReply(request->command, uptime));
        break;
    case CmdEraseFlashImg:
        flash_.erase();
        transferRunning_ = false;
        actions.busyMs = settings_.eraseMs;
        actions.busyEndEvent = "image-erased";
        actions.acknowledge = CmdEraseFlashImg;
        break;
    case CmdFlashImgDataStart:
        imageTransfer(request->payload, actions);
        break;
    case CmdFlashImgData:
        imageRecord(request->payload, actions);
        break;
    case CmdBootLoaderMode:
        actions.events.emplace_back("bootloader-mode");
        actions.bootloaderMode = true;
        break;
    default:
        actions.events.push_back(DeviceEvent("unknown-request", {{"command", std::int64_t{request->command}}}));
        break;
    }
    return actions;
}

Report ControllerFirmware::measurementReply(std::uint8_t command, Clock::duration uptime) const {
    const Measurements m = measure(settings_.seed, uptime);
    std::vector<std::uint8_t> data;
    switch (command) {
    case CmdGetTemperature:
        // The host reads the ambient after the array temperatures, wherever its model says they end.
        data.push_back(m.array1Raw);
        if (settings_.arrays == 2) data.push_back(m.array2Raw);
        data.push_back(m.ambientRaw);
        return controllerReply(command, data, kShortReplyEnd);
    case CmdGetAllChannel:
        for (std::uint16_t value : m.channels) putLe16(data, value);
        return controllerReply(command, data, kChannelReplyEnd);
    default:
        putLe16(data, m.fanRaw);
        return controllerReply(command, data, kShortReplyEnd);
    }
}

// The start carries the first two hexadecimal digits of the record count, which for a count of 256
// or more is not the count; the controller keeps whatever records follow.
void ControllerFirmware::imageTransfer(const std::vector<std::uint8_t>& payload, FirmwareActions& actions) {
    if (payload.size() != kTransferPayload || (payload[0] != kTransferStart && payload[0] != kTransferEnd)) {
        actions.events.emplace_back("protocol-error");
        return;
    }
    if (payload[0] == kTransferStart) {
        transferRunning_ = true;
        actions.events.push_back(
            DeviceEvent("image-start", {{"digit1", std::int64_t{payload[1]}}, {"digit2", std::int64_t{payload[2]}}}));
    } else {
        transferRunning_ = false;
        actions.events.push_back(
            DeviceEvent("image-end", {{"records", static_cast<std::int64_t>(flash_.recordsHeld())}}));
    }
    actions.acknowledge = CmdFlashImgDataStart;
}

void ControllerFirmware::imageRecord(const std::vector<std::uint8_t>& payload, FirmwareActions& actions) {
    if (payload.size() != 2 + kImageRecordSize) {
        actions.events.emplace_back("protocol-error");
        return;
    }
    // Kept even outside a transfer, but a host that sends one has skipped its start request.
    if (!transferRunning_) actions.events.emplace_back("record-outside-transfer");
    const auto index = static_cast<std::uint16_t>(payload[0] << 8 | payload[1]);
    flash_.store(index, std::span<const std::uint8_t, kImageRecordSize>(payload.data() + 2, kImageRecordSize));
    actions.acknowledge = CmdFlashImgData;
}

}  // namespace sim
