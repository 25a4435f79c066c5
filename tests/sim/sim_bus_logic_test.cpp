// The simulator's pure parts of the bus for Windows hosts: the queue that keeps a stream in whole
// reports, and the names of stop requests.
#include "report_stream.h"
#include "stop_requests.h"

#include <gtest/gtest.h>

namespace sim {
namespace {

platform::Report filled(std::uint8_t value) {
    platform::Report report;
    report.fill(value);
    return report;
}

TEST(SimReportStream, QueuesWholeReportsOnlyAndFinishesAPartlySentOneFirst) {
    OutgoingReports queue;
    for (std::size_t i = 0; i < OutgoingReports::kMaxReports; ++i)
        EXPECT_TRUE(queue.push(filled(static_cast<std::uint8_t>(i + 1))));
    EXPECT_FALSE(queue.push(filled(9))) << "a full queue takes no more";
    EXPECT_EQ(queue.unsent().size(), OutgoingReports::kMaxReports * platform::kReportSize);

    // The socket took a report and a half: the rest of the second goes before anything new, and
    // a new report fits only once a whole report's room is free.
    queue.sent(platform::kReportSize + 30);
    ASSERT_EQ(queue.unsent().front(), 2);
    EXPECT_EQ(queue.unsent().size(), (OutgoingReports::kMaxReports - 1) * platform::kReportSize - 30);
    EXPECT_TRUE(queue.push(filled(5)));
    EXPECT_FALSE(queue.push(filled(6)));
    EXPECT_EQ(queue.unsent().back(), 5);
    queue.sent(queue.unsent().size());
    EXPECT_TRUE(queue.empty());
}

TEST(SimStopRequests, OnlyALetterFromCToZFollowedByDotStopAsksToStopADrive) {
    EXPECT_EQ(stopRequestDrive("F.stop"), 'F');
    EXPECT_EQ(stopRequestDrive("f.stop"), 'F');
    EXPECT_EQ(stopRequestDrive("C.stop"), 'C');
    EXPECT_EQ(stopRequestDrive("Z.stop"), 'Z');
    for (const char* other : {"B.stop", "b.stop", "F.stop.tmp", "FF.stop", "F", "F.sto", ".stop", "1.stop", "F.Stop"})
        EXPECT_FALSE(stopRequestDrive(other)) << other;
}

}  // namespace
}  // namespace sim
