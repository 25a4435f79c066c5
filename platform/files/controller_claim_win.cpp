// Windows: the claim is a named pipe created as the first and only instance of its name. Pipe names
// are one namespace for the whole PC (every session and user; no privilege is needed, unlike a
// file mapping in Global\), no file on a disk, and the system frees the name with the pipe's last
// handle, when the process ends by any means. A pipe's default security lets every user open it for
// reading: an asker connects, the system tells it the holder's process id, the holder's thread
// writes its program's name.
#include "platform/files/claim_name.h"
#include "platform/files/file_handle.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <thread>

#include <windows.h>

namespace platform {

namespace {

constexpr DWORD kAnswerWaitMs = 500;  // a holder answers at once; one that does not is not waited for
constexpr DWORD kBufferBytes = 512;
constexpr DWORD kPeekMs = 10;

HANDLE handleOf(const File& file) { return reinterpret_cast<HANDLE>(file.native()); }
File fileOf(HANDLE handle) { return File(reinterpret_cast<std::intptr_t>(handle)); }

std::wstring pipeName(const std::string& name)  // ASCII only
{
    return L"\\\\.\\pipe\\" + std::wstring(name.begin(), name.end());
}

// Waits for an overlapped operation of the pipe to end; false when the stop came first or the wait
// ran out, the operation then cancelled and waited for.
bool awaitIo(HANDLE pipe, OVERLAPPED& io, HANDLE stop, DWORD limitMs)
{
    const HANDLE events[2]{io.hEvent, stop};
    if (WaitForMultipleObjects(2, events, FALSE, limitMs) == WAIT_OBJECT_0) return true;
    CancelIoEx(pipe, &io);
    DWORD ignored = 0;
    GetOverlappedResult(pipe, &io, &ignored, TRUE);
    return false;
}

// Starts an overlapped operation; true when it has ended, at once or within limitMs.
template <typename Start>
bool runIo(HANDLE pipe, HANDLE event, HANDLE stop, DWORD limitMs, Start start)
{
    OVERLAPPED io{};
    io.hEvent = event;
    ResetEvent(event);
    if (start(io)) return true;
    return GetLastError() == ERROR_IO_PENDING && awaitIo(pipe, io, stop, limitMs);
}

File newEvent()
{
    const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return event != nullptr ? fileOf(event) : File();
}

// Until stop is set, each asker is told the program's name and let go once it has closed its end
// (letting go sooner would throw the answer away) or has had its time.
void answerAskers(HANDLE pipe, HANDLE stop, const std::string& answer)
{
    const File event = newEvent();
    if (!event.isOpen()) return;  // askers still find the name held, only not by whom
    const HANDLE ioEvent = handleOf(event);
    for (;;) {
        OVERLAPPED io{};
        io.hEvent = ioEvent;
        ResetEvent(ioEvent);
        bool connected = ConnectNamedPipe(pipe, &io) != 0;
        if (!connected) {
            const DWORD error = GetLastError();
            if (error == ERROR_IO_PENDING && !awaitIo(pipe, io, stop, INFINITE)) return;
            if (error != ERROR_IO_PENDING && error != ERROR_PIPE_CONNECTED && error != ERROR_NO_DATA) return;
            connected = error != ERROR_NO_DATA;  // no data: the asker left before it was connected
        }
        if (connected) {
            runIo(pipe, ioEvent, stop, kAnswerWaitMs, [&](OVERLAPPED& write) {
                return WriteFile(pipe, answer.data(), static_cast<DWORD>(answer.size()), nullptr, &write) != 0;
            });
            char ignored = 0;
            runIo(pipe, ioEvent, stop, kAnswerWaitMs,
                  [&](OVERLAPPED& read) { return ReadFile(pipe, &ignored, 1, nullptr, &read) != 0; });
        }
        if (WaitForSingleObject(stop, 0) == WAIT_OBJECT_0) return;
        DisconnectNamedPipe(pipe);
    }
}

}  // namespace

// What the holder says, its process id from the system.
std::optional<ClaimHolder> askClaimHolder(const std::string& claim)
{
    const std::wstring name = pipeName(claim);
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + std::chrono::milliseconds(kAnswerWaitMs);
    const auto leftMs = [&] {
        return std::max<long long>(0, std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count());
    };
    File asking;
    for (;;) {
        asking = fileOf(CreateFileW(name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        if (asking.isOpen()) break;
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) return std::nullopt;
        // Busy with another asker; past the time, or refused by a holder's own security: held, by
        // whom is not known.
        if (error != ERROR_PIPE_BUSY || leftMs() == 0) return ClaimHolder{};
        WaitNamedPipeW(name.c_str(), static_cast<DWORD>(leftMs()));
    }
    ClaimHolder holder;
    ULONG processId = 0;
    if (GetNamedPipeServerProcessId(handleOf(asking), &processId)) holder.processId = processId;
    // Reads only what has arrived, so that a holder that never answers cannot hold the asker.
    std::string said;
    while (said.size() <= kHolderProgramMax && leftMs() > 0) {
        DWORD ready = 0;
        if (!PeekNamedPipe(handleOf(asking), nullptr, 0, nullptr, &ready, nullptr)) break;
        if (ready == 0) {
            Sleep(kPeekMs);
            continue;
        }
        char buffer[128];
        DWORD got = 0;
        if (!ReadFile(handleOf(asking), buffer, std::min(ready, static_cast<DWORD>(sizeof buffer)), &got, nullptr) || got == 0) break;
        said.append(buffer, got);
        if (said.find('\n') != std::string::npos) break;
    }
    holder.program = holderProgramFrom(said);
    return holder;
}

struct ControllerClaim::Held {
    Held(File createdPipe, File stopEvent, const std::string& answer)
        : pipe(std::move(createdPipe)), stop(std::move(stopEvent)), responder(answerAskers, handleOf(pipe), handleOf(stop), answer) {}
    ~Held()
    {
        SetEvent(handleOf(stop));
        responder.join();
    }

    File pipe;
    File stop;
    std::thread responder;
};

void ControllerClaim::LetGo::operator()(Held* held) const { delete held; }

// The handle is not inherited (no security attributes): a program this one starts cannot keep the
// claim after it has ended. Taken: the name exists already (first instance), or its only instance.
ClaimAttempt holdClaimName(const std::string& name, const std::string& answer)
{
    File pipe = fileOf(CreateNamedPipeW(pipeName(name).c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE | FILE_FLAG_OVERLAPPED,
                                        PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1,
                                        kBufferBytes, kBufferBytes, 0, nullptr));
    if (!pipe.isOpen()) {
        const DWORD error = GetLastError();
        return {{}, {}, error == ERROR_ACCESS_DENIED || error == ERROR_PIPE_BUSY ? kOk : error};
    }
    File stop = newEvent();
    if (!stop.isOpen()) return {{}, {}, GetLastError()};
    return {ControllerClaim(std::unique_ptr<ControllerClaim::Held, ControllerClaim::LetGo>(
                new ControllerClaim::Held(std::move(pipe), std::move(stop), answer))),
            {},
            kOk};
}

}  // namespace platform
