// Where the progress bar stands while the image data records go out.
#pragma once

#include <cstdint>
#include <optional>

inline constexpr int kSendingStartWidth = 40;
inline constexpr int kSendingSteps = 81;  // widths 40, 44, ... 360

// The progress bar during the sending pass: step k (0 .. 80) is shown before record
// (recordCount / 80) * k, at width 40 + 4k. With fewer than 80 records only step 0 shows.
class SendingProgress {
public:
    explicit SendingProgress(std::int32_t recordCount) : stride_(recordCount / 80) {}

    // The width to show before the record with index recordsSent, if a step falls there.
    std::optional<int> before(std::int32_t recordsSent);

private:
    std::int32_t stride_;
    int step_ = 0;
};
