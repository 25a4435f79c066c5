#include "board_bootloader.h"

#include "controller_frames.h"

#include <algorithm>

namespace sim {
namespace {

constexpr std::uint8_t kEndOfRegionList = 0xFF;

std::uint32_t readLe32(const Report& report, std::size_t at) {
    return std::uint32_t{report[at]} | std::uint32_t{report[at + 1]} << 8 | std::uint32_t{report[at + 2]} << 16 |
           std::uint32_t{report[at + 3]} << 24;
}

void writeLe32(Report& report, std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) report[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace

BoardBootloader::BoardBootloader(const BoardSettings& settings, const ControllerSettings& controllerSide)
    : settings_(settings), flash_(settings.regions, bytesPerAddress(settings.family)), controllerSide_(controllerSide) {}

void BoardBootloader::powerUp() {
    writePosition_.reset();
    controllerSide_.powerUp();
}

FirmwareActions BoardBootloader::handleReport(const Report& report, Clock::duration uptime) {
    if (isControllerFrame(report)) {
        FirmwareActions actions = controllerSide_.handleReport(report, uptime);
        // Its bootloader runs already, and a board shows no update disk: it stays on the bus.
        actions.bootloaderMode = false;
        return actions;
    }
    FirmwareActions actions;
    switch (report[1]) {
    case BootCmdQuery:
        actions.replies.push_back(queryReply());
        break;
    case BootCmdErase:
        flash_.eraseProgramMemory();
        writePosition_.reset();
        actions.busyMs = settings_.eraseMs;
        actions.busyEndEvent = "erased";
        break;
    case BootCmdProgram:
        program(report, actions);
        break;
    case BootCmdProgramComplete:
        writePosition_.reset();
        break;
    case BootCmdGetData:
        if (report[6] > kMaxPacketData) actions.events.push_back("protocol-error");
        actions.replies.push_back(readBack(report));
        break;
    case BootCmdReset:
        actions.events.push_back("reset");
        actions.awayMs = settings_.resetMs;
        break;
    default:
        break;  // a bootloader ignores what it does not know, such as the application's requests
    }
    return actions;
}

Report BoardBootloader::queryReply() const {
    Report reply{};
    reply[1] = BootCmdQuery;
    reply[2] = settings_.bytesPerPacket;
    reply[3] = settings_.family;
    std::size_t at = 4;
    for (const MemoryRegion& region : settings_.regions) {
        reply[at] = region.type;
        writeLe32(reply, at + 1, region.start);
        writeLe32(reply, at + 5, region.length);
        at += 9;
    }
    reply[at] = kEndOfRegionList;
    return reply;
}

void BoardBootloader::program(const Report& report, FirmwareActions& actions) {
    const std::uint32_t address = readLe32(report, 2);
    const int count = report[6];
    if (count > kMaxPacketData) {
        actions.events.push_back("protocol-error");
        return;
    }
    const int unitBytes = flash_.unitBytes();
    // The bootloader writes one contiguous run: a packet that does not continue it is written where
    // the run continues anyway, which the host only finds out when it verifies.
    std::uint64_t position = std::uint64_t{address} * unitBytes;
    if (writePosition_) {
        if (*writePosition_ / unitBytes != address) actions.events.push_back("framing-error");
        position = *writePosition_;
    }
    bool outside = false;
    for (int k = 0; k < count; ++k)
        if (!flash_.program(position + k, report[report.size() - count + k])) outside = true;
    if (outside) actions.events.push_back("protocol-error");
    writePosition_ = position + count;
}

Report BoardBootloader::readBack(const Report& report) const {
    const std::uint32_t address = readLe32(report, 2);
    const int count = std::min<int>(report[6], kMaxPacketData);
    Report reply{};
    reply[1] = BootCmdGetData;
    writeLe32(reply, 2, address);
    reply[6] = static_cast<std::uint8_t>(count);
    const std::uint64_t position = std::uint64_t{address} * flash_.unitBytes();
    for (int k = 0; k < count; ++k) reply[reply.size() - count + k] = flash_.read(position + k);
    return reply;
}

}  // namespace sim
