// An open file of the program's own, held by the platform layer's handle so that creating it,
// locking it and syncing it need no path again (a path may name another file by then).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

class File {
public:
    File() = default;
    // Takes over an open descriptor (a HANDLE on Windows).
    explicit File(std::intptr_t native) : native_(native) {}
    File(File&& other) noexcept : native_(other.release()) {}
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    ~File() { close(); }

    bool isOpen() const { return native_ != kClosed; }
    std::intptr_t native() const { return native_; }
    // Writes data after what was written before; the number of bytes that reached the file, less
    // than data.size() when the disk took only part of it (full) or refused it.
    std::size_t write(std::string_view data);
    // The whole file from the start when it holds at most maxBytes, else nothing.
    std::optional<std::string> readAll(std::size_t maxBytes);
    // Up to count bytes from offset on, fewer where the file ends; nothing when the system refuses.
    std::optional<std::string> readAt(std::uint64_t offset, std::size_t count);
    std::optional<std::uint64_t> size() const;
    // Writes data at the file's end, wherever earlier reads left off; as write() returns.
    std::size_t appendAtEnd(std::string_view data);
    // Makes data the file's whole content; false when it could not be written whole.
    bool replaceWith(std::string_view data);
    // Hands what was written to the disk and waits until it is there.
    bool sync();
    void close();

private:
    static constexpr std::intptr_t kClosed = -1;  // -1 is INVALID_HANDLE_VALUE too
    std::intptr_t release();
    std::intptr_t native_ = kClosed;
};

// Opens an existing file for reading. A symbolic link or junction at path is not followed.
File openForReading(const std::string& path);

// The system's text for why the last call of this layer on this thread failed.
std::string lastErrorText();

}  // namespace platform
