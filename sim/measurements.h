// What the controller measures: its LED arrays' and the ambient thermistors, twelve channel values
// and the fan's tachometer, in the raw units it reports them in. The values drift slowly along
// sine waves over the simulator's uptime, each with its own period and a phase taken from the seed,
// so that two simulators with the same seed measure the same at the same time. They change in
// steps of kMeasurementStep, as a sensor that is sampled a few times a second.
#pragma once

#include "clock.h"

#include <array>
#include <cstdint>

namespace sim {

inline constexpr auto kMeasurementStep = std::chrono::milliseconds(250);
inline constexpr std::size_t kChannels = 12;

struct Measurements {
    // Raw thermistor bytes: higher is colder (about 136 is 42 degrees C, 174 is 25 degrees C).
    std::uint8_t array1Raw = 0;
    std::uint8_t array2Raw = 0;
    std::uint8_t ambientRaw = 0;
    std::array<std::uint16_t, kChannels> channels{};  // 12-bit values
    // The fan's period: rpm = 300000 / (fanRaw & 0x7FFF); the top bit flags a valid reading.
    std::uint16_t fanRaw = 0;
};

Measurements measure(std::uint32_t seed, Clock::duration uptime);

}  // namespace sim
