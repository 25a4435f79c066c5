#include "report_stream.h"

#include <algorithm>

namespace sim {

platform::Report ReportAssembler::take() {
    gathered_ = 0;
    return report_;
}

bool OutgoingReports::push(const platform::Report& report) {
    if (bytes_.size() + report.size() > kMaxReports * platform::kReportSize) return false;
    bytes_.insert(bytes_.end(), report.begin(), report.end());
    return true;
}

void OutgoingReports::sent(std::size_t count) {
    bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(std::min(count, bytes_.size())));
}

}  // namespace sim
