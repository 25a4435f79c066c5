// Verification: reads the flash back and compares it with the region images.
//
// Read-back requests are pipelined: two write slots take turns offering requests while up to ten
// are in flight, and replies are compared as they arrive, so the bus carries a request and a reply
// in every frame instead of one round trip per packet. The board answers in order, so each reply
// must answer the oldest request in flight. Nothing here blocks; the loop polls.
#include "bootloader/read_back.h"
#include "bootloader/session_state.h"
#include "bootloader/zerlin.h"

#include <chrono>
#include <deque>
#include <span>
#include <thread>

using namespace zerlin;

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kNoProgressPeriod = std::chrono::milliseconds(10000);
constexpr unsigned kMaxInFlight = 10;

struct WriteSlot {
    platform::WriteTicket ticket = 0;
    bool pending = false;  // its last request is started but not yet taken by the device
};

class FlashReader {
public:
    FlashReader(platform::HidHandle& writer, platform::HidHandle& reader) : writer_(writer), reader_(reader) {}

    bool verifyRegion(const MemoryRegion& region, std::span<const std::uint8_t> image)
    {
        const std::uint64_t end = regionEnd(region);
        const std::uint32_t addressesPerRequest = bytesPerPacket / bytesPerAddress;
        std::uint64_t address = region.start;
        while (!inFlight_.empty() || address < end) {
            std::this_thread::yield();
            if (!stillProgressing()) return false;
            for (WriteSlot& slot : slots_) {
                if (slot.pending && !poll(slot)) return false;
                if (slot.pending || inFlight_.size() >= kMaxInFlight || address >= end) continue;
                const Report request = readBackRequest(
                    static_cast<std::uint32_t>(address), readBackRequestSize(address, end, bytesPerPacket, bytesPerAddress));
                if (!start(slot, request)) return false;
                inFlight_.push_back(request);
                address += addressesPerRequest;
                noProgress_ = false;
            }
            // A read is outstanding whenever a request is in flight, so every reply is read once.
            if (inFlight_.empty()) continue;
            Report reply{};
            platform::OsError error = platform::kOk;
            const platform::IoProgress progress = reader_.tryRead(reply, error);
            if (progress == platform::IoProgress::Pending) continue;
            if (progress == platform::IoProgress::Failed) return fail(error);
            const Report request = inFlight_.front();
            inFlight_.pop_front();
            noProgress_ = false;
            if (checkReadBackReply(reply, request, region, image, bytesPerAddress) != ReplyCheck::Match) return false;
        }
        return true;
    }

    // After a region failed: takes the replies to the requests the board has already been given,
    // each within its own time limit. Left unread they would reach the next call's read handle,
    // where a query could take one for its layout. Requests still queued here never go out, since
    // closing the handle drops them; a board that has gone silent or away owes nothing more.
    void takeOwedReplies()
    {
        if (silent_) return;
        std::size_t owed = inFlight_.size();
        for (WriteSlot& slot : slots_) {
            platform::OsError ignored = platform::kOk;
            if (slot.pending && writer_.pollWrite(slot.ticket, ignored) != platform::IoProgress::Done) --owed;
        }
        for (; owed > 0; --owed) {
            Report reply{};
            if (reader_.read(reply, kQueryReplyTimeoutMs) != platform::kOk) return;
        }
    }

private:
    // Starts a request in the slot; it queues behind the other slot's, so requests keep their order.
    // The step runs before settle() takes its error: in one call the copy could be made first.
    bool start(WriteSlot& slot, const Report& request)
    {
        platform::OsError error = platform::kOk;
        const platform::IoProgress progress = writer_.startWrite(request, slot.ticket, error);
        return settle(slot, progress, error);
    }

    bool poll(WriteSlot& slot)
    {
        platform::OsError error = platform::kOk;
        const platform::IoProgress progress = writer_.pollWrite(slot.ticket, error);
        return settle(slot, progress, error);
    }

    // False when the device refused the write for good.
    bool settle(WriteSlot& slot, platform::IoProgress progress, platform::OsError error)
    {
        slot.pending = progress == platform::IoProgress::Pending;
        return progress != platform::IoProgress::Failed || fail(error);
    }

    // Fails only after a whole period with neither a request started nor a reply compared: the
    // check runs once a period, so a silent board is given up after 10 to 20 seconds.
    bool stillProgressing()
    {
        const Clock::time_point now = Clock::now();
        if (now - progressMark_ <= kNoProgressPeriod) return true;
        if (noProgress_) {
            silent_ = true;
            return fail(platform::kErrorTimeout);
        }
        progressMark_ = now;
        noProgress_ = true;
        return true;
    }

    bool fail(platform::OsError error)
    {
        bootLastIoError = error;
        return false;
    }

    platform::HidHandle& writer_;
    platform::HidHandle& reader_;
    std::array<WriteSlot, 2> slots_{};
    std::deque<Report> inFlight_;  // requests started and not yet answered, oldest first
    bool silent_ = false;          // gave up after a whole period without an answer
    Clock::time_point progressMark_ = Clock::now();
    bool noProgress_ = false;
};

bool verifyFlash()
{
    if (!hasImagesToProgram()) return false;
    platform::OsError error = platform::kOk;
    platform::HidHandle writer = platform::HidHandle::open(bootDevicePath, platform::HidAccess::Write, error);
    platform::HidHandle reader;
    if (error == platform::kOk) reader = platform::HidHandle::open(bootDevicePath, platform::HidAccess::Read, error);
    bootLastIoError = error;
    if (error != platform::kOk) return false;

    FlashReader flash(writer, reader);
    for (std::size_t i = 0; i < regionCount; ++i) {
        const MemoryRegion region = (*regionTable)[i];
        if (region.type == kConfigRegionType) continue;
        if (!flash.verifyRegion(region, regionImage[i])) {
            flash.takeOwedReplies();
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" ZERLIN_EXPORT uint8_t M47J53_VerifyFlash(void) { return failSafe(verifyFlash); }
