#include "sending_pass.h"

std::optional<int> SendingProgress::before(std::int32_t recordsSent) {
    if (step_ >= kSendingSteps || static_cast<std::int64_t>(stride_) * step_ != recordsSent) return std::nullopt;
    return kSendingStartWidth + 4 * step_++;
}
