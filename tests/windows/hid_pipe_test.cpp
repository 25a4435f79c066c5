// The Windows HID handle against a stand-in device that Windows opens as it opens a HID interface,
// overlapped: a named pipe whose messages are 65-byte reports, opened through HidHandle::open. A
// pipe is no HID interface: its report lengths cannot be read, so it is opened as any handle was
// before lengths were checked.
//
// Windows cancels the overlapped I/O a thread started when that thread ends. The HID handle leaves
// a read under way after a time-out, and the requests of one exchange and the next may run on
// different threads: the read that a thread left behind then ends as aborted, which must not be
// taken for a failed read.
#include "platform/hid/hid.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <string>
#include <thread>

namespace {

using namespace std::chrono_literals;
using platform::HidAccess;
using platform::HidHandle;
using platform::IoProgress;
using platform::OsError;
using platform::Report;

Report patterned(std::uint8_t seed) {
    Report report{};
    for (std::size_t i = 1; i < report.size(); ++i) report[i] = static_cast<std::uint8_t>(seed + i);
    return report;
}

// The device's end: the server of a one-instance message pipe, opened overlapped as the system's
// side of a HID interface is.
class PipeDevice {
public:
    PipeDevice() {
        static int count = 0;
        path_ = "\\\\.\\pipe\\lumaro-hid-test-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++count);
        const std::wstring name(path_.begin(), path_.end());
        server_ = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                   PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1,
                                   4096, 4096, 0, nullptr);
        event_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    }
    ~PipeDevice() {
        if (server_ != INVALID_HANDLE_VALUE) CloseHandle(server_);
        if (event_ != nullptr) CloseHandle(event_);
    }
    PipeDevice(const PipeDevice&) = delete;
    PipeDevice& operator=(const PipeDevice&) = delete;

    bool isServing() const { return server_ != INVALID_HANDLE_VALUE && event_ != nullptr; }
    const std::string& path() const { return path_; }

    // True once a client is connected; called after the client opened its end.
    bool accept() {
        OVERLAPPED overlapped{};
        overlapped.hEvent = event_;
        if (ConnectNamedPipe(server_, &overlapped)) return true;
        if (GetLastError() == ERROR_PIPE_CONNECTED) return true;
        return GetLastError() == ERROR_IO_PENDING && finish(overlapped);
    }

    // True when the report went out whole, as one message.
    bool send(const Report& report) {
        OVERLAPPED overlapped{};
        overlapped.hEvent = event_;
        if (WriteFile(server_, report.data(), static_cast<DWORD>(report.size()), nullptr, &overlapped)) return true;
        return GetLastError() == ERROR_IO_PENDING && finish(overlapped);
    }

private:
    bool finish(OVERLAPPED& overlapped) {
        if (WaitForSingleObject(event_, 5000) != WAIT_OBJECT_0) {
            CancelIoEx(server_, &overlapped);
            DWORD ignored = 0;
            GetOverlappedResult(server_, &overlapped, &ignored, TRUE);
            return false;
        }
        DWORD done = 0;
        return GetOverlappedResult(server_, &overlapped, &done, FALSE) != FALSE;
    }

    std::string path_;
    HANDLE server_ = INVALID_HANDLE_VALUE;
    HANDLE event_ = nullptr;
};

HidHandle openReader(PipeDevice& device) {
    OsError error = 1;
    HidHandle handle = HidHandle::open(device.path(), HidAccess::Read, error);
    EXPECT_EQ(error, platform::kOk) << platform::describe(error);
    EXPECT_TRUE(device.accept());
    return handle;
}

TEST(WindowsHidPipe, AReadLeftUnderWayByAThreadThatEndedIsNoFailureAndLaterReportsAreRead) {
    PipeDevice device;
    ASSERT_TRUE(device.isServing()) << GetLastError();
    HidHandle handle = openReader(device);
    ASSERT_TRUE(handle.isOpen());

    // One request on a thread of its own waits in vain; its read stays under way as the thread ends.
    std::thread request([&] {
        Report report{};
        EXPECT_EQ(handle.read(report, 100), platform::kErrorTimeout);
    });
    request.join();
    std::this_thread::sleep_for(100ms);  // the system's cancel of the ended thread's I/O goes through

    const Report first = patterned(1);
    const Report second = patterned(2);
    ASSERT_TRUE(device.send(first));
    ASSERT_TRUE(device.send(second));
    Report report{};
    EXPECT_EQ(handle.read(report, 2000), platform::kOk);
    EXPECT_EQ(report, first);
    EXPECT_EQ(handle.read(report, 2000), platform::kOk);
    EXPECT_EQ(report, second);
    EXPECT_EQ(handle.read(report, 100), platform::kErrorTimeout);
}

TEST(WindowsHidPipe, APollAfterTheAbortIsStillPendingAndTheReportComesToIt) {
    PipeDevice device;
    ASSERT_TRUE(device.isServing()) << GetLastError();
    HidHandle handle = openReader(device);
    ASSERT_TRUE(handle.isOpen());

    std::thread poller([&] {
        Report report{};
        OsError error = platform::kOk;
        EXPECT_EQ(handle.tryRead(report, error), IoProgress::Pending);
    });
    poller.join();
    std::this_thread::sleep_for(100ms);

    Report report{};
    OsError error = platform::kOk;
    EXPECT_EQ(handle.tryRead(report, error), IoProgress::Pending) << error;
    const Report sent = patterned(9);
    ASSERT_TRUE(device.send(sent));
    EXPECT_EQ(handle.read(report, 2000), platform::kOk);
    EXPECT_EQ(report, sent);
}

}  // namespace
