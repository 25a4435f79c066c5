// The requests of the controller's application firmware: the three measurements, the image-flash
// erase, the image-data transfer and the switch into the bootloader. Each request is built in the
// link's one packet buffer, written, and its reply read back into the same buffer. Every read has a
// time limit, so a controller that goes silent or leaves ends a request instead of holding its caller.
#pragma once

#include "controller_frame.h"
#include "platform/hid/hid.h"
#include "platform/core/os_error.h"

#include <atomic>
#include <functional>
#include <span>
#include <string>

// Where the reports go: the link's write and read handles, or a stand-in in tests.
class PacketChannel {
public:
    virtual ~PacketChannel() = default;
    virtual platform::OsError write(const platform::Report& report, int timeoutMs) = 0;
    virtual platform::OsError read(platform::Report& report, int timeoutMs) = 0;
};

// The channel over the link's two handles.
class HidHandlePair final : public PacketChannel {
public:
    HidHandlePair(platform::HidHandle& writeHandle, platform::HidHandle& readHandle)
        : writeHandle_(writeHandle), readHandle_(readHandle) {}
    platform::OsError write(const platform::Report& report, int timeoutMs) override { return writeHandle_.write(report, timeoutMs); }
    platform::OsError read(platform::Report& report, int timeoutMs) override { return readHandle_.read(report, timeoutMs); }

private:
    platform::HidHandle& writeHandle_;
    platform::HidHandle& readHandle_;
};

// How long each step may take, in milliseconds.
struct RequestTimeouts {
    int writeMs = 1000;
    int dataReplyMs = 1000;      // a measurement reply; a lapse counts as a failed read
    int eraseAckMs = 60000;      // erasing the whole image flash takes seconds
    int startAckMs = 5000;       // start and end of the image transfer
    int recordAckMs = 1000;      // one 54-byte record
    int pollSliceMs = 20;        // longest single read while polling, so a stop is seen soon
};

// How an acknowledged request ended.
enum class AckResult {
    Acknowledged,
    WriteFailed,       // the request never reached the controller
    ReadFailed,        // the system reported a failed read (erase only: it gives up at the first one)
    DeviceGone,        // the controller left, or the link is not open
    NoAcknowledgement, // the deadline passed without the acknowledgement
    Stopped,           // jobBusy was cleared: the job is being stopped
};

// Short English text for a log line, e.g. "no acknowledgement in time".
std::string describe(AckResult result);

using LogSink = std::function<void(const std::string&)>;  // the update log (message log target 1)
using WaitHook = std::function<void(int ms)>;              // waits while the caller's messages keep flowing

// One exchange at a time: the packet buffer is shared by every request of a link.
class ControllerRequests {
public:
    // packetBuffer and lastIoError are the link's; jobBusy gates the acknowledgement polling.
    // An empty log sink drops the lines; an empty wait hook sleeps.
    ControllerRequests(PacketChannel& channel, platform::Report& packetBuffer, platform::OsError& lastIoError,
                       std::atomic<bool>& jobBusy, LogSink log, WaitHook wait, RequestTimeouts timeouts = {});

    // Measurements: the zero result for every failure, with the logged texts of the update log.
    TemperatureReading Get_Temperature(int arrayCount);
    ChannelReading Get_AllChannel();
    std::int32_t Get_FanSpeed();

    // Acknowledged requests; they poll only while jobBusy is set.
    AckResult Erase_Flash_ImgData();
    AckResult Send_FlashImgData_Start(bool endFlag, std::int32_t recordCount);
    AckResult Transfer_Flash_ImgData(std::int32_t index, std::span<const std::uint8_t, IMAGE_RECORD_SIZE> record);

    // True when the request was written; the controller does not answer it.
    bool Send_BootLoaderMode();

private:
    // A reply that came after its request gave up would otherwise be taken as the reply to the next
    // measurement, and every later one would be off by one.
    void discardStaleReports();
    bool send(std::uint8_t command, std::span<const std::uint8_t> payload);
    bool receive(int timeoutMs);
    bool readDataReply(std::size_t endOffset, const char* receiveFailureText);
    // Polls for the acknowledgement of command for at most deadlineMs. Without a readFailureText the
    // first failed read ends the polling; with one, a failed read is logged (once per request) and
    // polling goes on, unless the controller is gone.
    AckResult awaitAcknowledgement(std::uint8_t command, int deadlineMs, const char* readFailureText);
    void note(const std::string& line);  // to the log sink, if there is one
    void wait(int ms);

    PacketChannel& channel_;
    platform::Report& packet_;
    platform::OsError& lastIoError_;
    std::atomic<bool>& jobBusy_;
    LogSink log_;
    WaitHook wait_;
    RequestTimeouts timeouts_;
};
