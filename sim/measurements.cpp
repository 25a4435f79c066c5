#include "measurements.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace sim {
namespace {

constexpr std::uint16_t kFanValidFlag = 0x8000;
constexpr double kFanFactor = 300000.0;

// A phase from 0 to 2 pi for each quantity of a seed (splitmix64 of seed and quantity).
double phaseOf(std::uint32_t seed, unsigned quantity) {
    std::uint64_t z = (std::uint64_t{seed} << 8 | quantity) + 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    return static_cast<double>(z % 10000) / 10000.0 * 2 * std::numbers::pi;
}

struct Wave {
    double base;
    double amplitude;
    double periodSeconds;
};

double sample(const Wave& wave, std::uint32_t seed, unsigned quantity, double seconds) {
    return wave.base + wave.amplitude * std::sin(2 * std::numbers::pi * seconds / wave.periodSeconds + phaseOf(seed, quantity));
}

std::uint8_t rawByte(double value) { return static_cast<std::uint8_t>(std::lround(std::clamp(value, 0.0, 255.0))); }

}  // namespace

Measurements measure(std::uint32_t seed, Clock::duration uptime) {
    const auto steps = uptime / kMeasurementStep;
    const double seconds = std::chrono::duration<double>(steps * kMeasurementStep).count();
    Measurements m;
    // The arrays run at about 40 to 45 degrees C, the ambient at about 24 to 26.
    m.array1Raw = rawByte(sample({136, 6, 120}, seed, 0, seconds));
    m.array2Raw = rawByte(sample({138, 6, 140}, seed, 1, seconds));
    m.ambientRaw = rawByte(sample({174, 2, 300}, seed, 2, seconds));
    for (unsigned i = 0; i < kChannels; ++i) {
        const double value = sample({2048.0 + 150 * i, 200, 90.0 + 7 * i}, seed, 3 + i, seconds);
        m.channels[i] = static_cast<std::uint16_t>(std::lround(std::clamp(value, 0.0, 4095.0)));
    }
    const double rpm = sample({1800, 150, 150}, seed, 15, seconds);
    m.fanRaw = static_cast<std::uint16_t>(kFanValidFlag | static_cast<std::uint16_t>(std::lround(kFanFactor / rpm)));
    return m;
}

}  // namespace sim
