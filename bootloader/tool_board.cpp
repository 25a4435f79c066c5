#include "bootloader/tool_board.h"

#include "bootloader/device_match.h"
#include "bootloader/reply_wait.h"
#include "platform/hid/hid.h"

namespace zerlin {

std::optional<std::string> findBoardPath(const std::string& hardwareId)
{
    for (const platform::HidInterfaceInfo& interface : platform::listHidInterfaces())
        if (hardwareIdMatches(interface.hardwareId, hardwareId)) return interface.path;
    return std::nullopt;
}

LayoutRead readBoardLayout(const std::string& path)
{
    LayoutRead read;
    platform::HidHandle writer = platform::HidHandle::open(path, platform::HidAccess::Write, read.error);
    if (read.error != platform::kOk) return read;
    platform::HidHandle reader = platform::HidHandle::open(path, platform::HidAccess::Read, read.error);
    if (read.error != platform::kOk) return read;
    read.error = writer.write(commandPacket(BootCmdQuery), kWriteTimeoutMs);
    Report reply{};
    if (read.error == platform::kOk)
        read.error = readReplyTo(BootCmdQuery, reply, kQueryReplyTimeoutMs,
                                 [&reader](Report& report, int ms) { return reader.read(report, ms); });
    if (read.error == platform::kOk) read.layoutError = parseQueryReply(reply, read.layout);
    return read;
}

}  // namespace zerlin
