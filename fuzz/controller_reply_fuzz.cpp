// The controller's replies: acceptance and the decoders of temperatures, channels and fan speed.
#include "link/controller_frame.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    platform::Report reply{};
    std::copy_n(data, std::min(size, reply.size()), reply.begin());
    // Past the report: the model's array count, then one character of a record count's hexadecimal text.
    const int arrayCount = size > reply.size() ? static_cast<std::int8_t>(data[reply.size()]) : 1;
    const std::string_view digit =
        size > reply.size() + 1 ? std::string_view(reinterpret_cast<const char*>(data + reply.size() + 1), 1)
                                : std::string_view();

    static_cast<void>(isDataReply(reply, kShortReplyEnd));
    static_cast<void>(isDataReply(reply, kChannelReplyEnd));
    static_cast<void>(isAcknowledgement(reply, reply[5]));
    const TemperatureReading temperature = decodeTemperature(reply, arrayCount);
    if (arrayCount != 1 && arrayCount != 2 && temperature != TemperatureReading{}) __builtin_trap();
    if (arrayCount == 1 && temperature.array2 != 0) __builtin_trap();
    static_cast<void>(decodeAllChannel(reply));
    if (decodeFanSpeed(reply) < 0) __builtin_trap();
    for (const std::uint8_t raw : reply) {
        const int degrees = Raw_To_Temperature(raw);
        if (degrees < -100 || degrees > 300) __builtin_trap();
    }
    const int value = HexDigit_To_Int(digit);
    if (value < 0 || value > 15) __builtin_trap();
    return 0;
}
