// Linux: the claim is a listening socket bound to a name in the abstract namespace. The name is no
// file (nothing to plant, follow or leave behind), is seen by every user of the PC (of its network
// namespace), and the kernel frees it with the last descriptor of the socket, when the process
// ends by any means. An asker connects: the kernel tells it the holder's process id, the holder's
// thread writes its program's name.
#include "platform/files/claim_name.h"
#include "platform/files/file_handle.h"

#include <chrono>
#include <cstddef>
#include <cstring>
#include <optional>
#include <thread>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr int kAnswerWaitMs = 500;  // a holder answers at once; one that does not is not waited for
constexpr int kBacklog = 16;

struct Address {
    sockaddr_un address{};
    socklen_t length = 0;
    const sockaddr* get() const { return reinterpret_cast<const sockaddr*>(&address); }
};

// The leading zero byte puts the name in the abstract namespace.
Address abstractAddress(const std::string& name)
{
    Address at;
    at.address.sun_family = AF_UNIX;
    std::memcpy(at.address.sun_path + 1, name.data(), name.size());
    at.length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
    return at;
}

int descriptor(const File& file) { return static_cast<int>(file.native()); }

File streamSocket() { return File(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0)); }

// Until told to stop through wake, each asker is told the program's name and let go.
void answerAskers(int listener, int wake, const std::string& answer)
{
    for (;;) {
        pollfd watched[2]{{listener, POLLIN, 0}, {wake, POLLIN, 0}};
        if (::poll(watched, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (watched[1].revents != 0) return;
        const File asker(::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
        if (!asker.isOpen()) {
            // Out of descriptors: askers still find the name held, only not by whom.
            if (errno != EAGAIN && errno != EINTR && errno != ECONNABORTED) return;
            continue;
        }
        (void)::send(descriptor(asker), answer.data(), answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    }
}

}  // namespace

// What the holder says, its process id from the kernel.
std::optional<ClaimHolder> askClaimHolder(const std::string& name)
{
    const Address at = abstractAddress(name);
    const File asking = streamSocket();
    if (!asking.isOpen()) return ClaimHolder{};
    // Not blocking: a holder that never takes its askers has them refused once its queue is full.
    if (::connect(descriptor(asking), at.get(), at.length) != 0)
        return errno == ECONNREFUSED ? std::nullopt : std::optional<ClaimHolder>(ClaimHolder{});
    ClaimHolder holder;
    ucred credentials{};
    socklen_t size = sizeof credentials;
    if (::getsockopt(descriptor(asking), SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0 && credentials.pid > 0)
        holder.processId = static_cast<std::uint64_t>(credentials.pid);
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + std::chrono::milliseconds(kAnswerWaitMs);
    std::string said;
    while (said.size() <= kHolderProgramMax) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
        pollfd answer{descriptor(asking), POLLIN, 0};
        if (left <= 0 || ::poll(&answer, 1, static_cast<int>(left)) <= 0) break;
        char buffer[128];
        const ssize_t got = ::read(descriptor(asking), buffer, sizeof buffer);
        if (got <= 0) break;
        said.append(buffer, static_cast<std::size_t>(got));
    }
    holder.program = holderProgramFrom(said);
    return holder;
}

struct ControllerClaim::Held {
    Held(File boundSocket, File wakeRead, File wakeWrite, const std::string& answer)
        : listener(std::move(boundSocket)),
          wakeReader(std::move(wakeRead)),
          wakeWriter(std::move(wakeWrite)),
          responder(answerAskers, descriptor(listener), descriptor(wakeReader), answer) {}
    ~Held()
    {
        const char stop = 0;
        (void)!::write(descriptor(wakeWriter), &stop, 1);
        responder.join();
    }

    File listener;
    File wakeReader;
    File wakeWriter;
    std::thread responder;
};

void ControllerClaim::LetGo::operator()(Held* held) const { delete held; }

ClaimAttempt holdClaimName(const std::string& name, const std::string& answer)
{
    const Address at = abstractAddress(name);
    File listener = streamSocket();
    if (!listener.isOpen()) return {{}, {}, fromErrno(errno)};
    if (::bind(descriptor(listener), at.get(), at.length) != 0) return {{}, {}, errno == EADDRINUSE ? kOk : fromErrno(errno)};
    int wake[2];
    if (::listen(descriptor(listener), kBacklog) != 0 || ::pipe2(wake, O_CLOEXEC) != 0) return {{}, {}, fromErrno(errno)};
    return {ControllerClaim(std::unique_ptr<ControllerClaim::Held, ControllerClaim::LetGo>(
                new ControllerClaim::Held(std::move(listener), File(wake[0]), File(wake[1]), answer))),
            {},
            kOk};
}

}  // namespace platform
