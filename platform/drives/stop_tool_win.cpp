// Windows: the program's own stop tool, carried as resources "S1" (32-bit) and "S2" (64-bit) of type
// "EXEFILE", written for each run into a new folder of the user's temporary folder. The program's
// own folder will not do: under Program Files a normal user may not write there, and in a folder
// that others can write the tool could be swapped between the write and the run. The new folder is
// its user's alone, whatever the temporary folder lets others do.
#include "platform/drives/drives_backends.h"
#include "platform/core/owner_only_security_win.h"
#include "platform/core/utf8_path.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <span>
#include <vector>

namespace platform::native {
namespace {

constexpr int kFolderNameTries = 100;
// A scanner may still be reading the file for a moment after the tool has ended.
constexpr int kRemoveTries = 10;
constexpr DWORD kRemoveRetryMs = 100;

HRSRC toolResource(bool is64Bit) { return FindResourceW(nullptr, is64Bit ? L"S2" : L"S1", L"EXEFILE"); }

OsError lastErrorOr(OsError fallback)
{
    const DWORD error = GetLastError();
    return error != 0 ? error : fallback;
}

// The bytes of the tool's build; empty with error set when the program cannot give them.
std::span<const char> toolBytes(bool is64Bit, OsError& error)
{
    const HRSRC resource = toolResource(is64Bit);
    if (resource == nullptr) {
        error = kErrorFileNotFound;
        return {};
    }
    const HGLOBAL loaded = LoadResource(nullptr, resource);
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (bytes == nullptr) {
        error = lastErrorOr(kErrorGenFailure);
        return {};
    }
    error = kOk;
    return {static_cast<const char*>(bytes), SizeofResource(nullptr, resource)};
}

// A folder made now under the user's temporary folder, with a name nobody had taken: a folder that
// was there already (made by someone else) is never used. Empty with error set when none can be made.
std::wstring newTemporaryFolder(OsError& error)
{
    wchar_t temporary[MAX_PATH + 2];  // the longest answer is MAX_PATH + 1 characters
    const DWORD length = GetTempPathW(MAX_PATH + 2, temporary);
    if (length == 0 || length > MAX_PATH + 1) {
        error = lastErrorOr(kErrorGenFailure);
        return {};
    }
    OwnerOnlySecurity ownerOnly;
    if (ownerOnly.attributes() == nullptr) {
        error = lastErrorOr(kErrorGenFailure);
        return {};
    }
    std::random_device random;
    for (int attempt = 0; attempt < kFolderNameTries; ++attempt) {
        wchar_t name[32];
        std::swprintf(name, sizeof name / sizeof name[0], L"lumaro-stop-%08x%08x", random(), random());
        const std::wstring folder = std::wstring(temporary, length) + name + L"\\";
        if (CreateDirectoryW(folder.c_str(), ownerOnly.attributes())) {
            error = kOk;
            return folder;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            error = lastErrorOr(kErrorGenFailure);
            return {};
        }
    }
    error = ERROR_ALREADY_EXISTS;
    return {};
}

// Whether the file behind handle holds exactly bytes, read from its start.
bool holdsExactly(HANDLE file, std::span<const char> bytes)
{
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size) || static_cast<unsigned long long>(size.QuadPart) != bytes.size()) return false;
    std::vector<char> chunk(64 * 1024);
    for (std::size_t offset = 0; offset < bytes.size();) {
        const auto wanted = static_cast<DWORD>(std::min(chunk.size(), bytes.size() - offset));
        DWORD read = 0;
        if (!ReadFile(file, chunk.data(), wanted, &read, nullptr) || read == 0) return false;
        if (!std::equal(chunk.begin(), chunk.begin() + read, bytes.begin() + static_cast<std::ptrdiff_t>(offset)))
            return false;
        offset += read;
    }
    return true;
}

class TemporaryStopTool final : public StopTool {
public:
    explicit TemporaryStopTool(std::wstring folder)
        : folder_(std::move(folder)), file_(folder_ + L"USBDeview.exe"), path_(utf8String(std::filesystem::path(file_)))
    {
    }

    ~TemporaryStopTool() override
    {
        if (held_ != INVALID_HANDLE_VALUE) CloseHandle(held_);
        for (int attempt = 1; !DeleteFileW(file_.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND; ++attempt) {
            if (attempt == kRemoveTries) break;
            Sleep(kRemoveRetryMs);
        }
        RemoveDirectoryW(folder_.c_str());
    }

    TemporaryStopTool(const TemporaryStopTool&) = delete;
    TemporaryStopTool& operator=(const TemporaryStopTool&) = delete;

    const std::string& path() const override { return path_; }

    OsError write(bool is64Bit) override
    {
        OsError error = kOk;
        const std::span<const char> bytes = toolBytes(is64Bit, error);
        if (error != kOk) return error;
        // A new file, shared with nobody while it is written.
        const HANDLE out = CreateFileW(file_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (out == INVALID_HANDLE_VALUE) return lastErrorOr(kErrorGenFailure);
        DWORD written = 0;
        if (!WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) || written != bytes.size())
            error = lastErrorOr(kErrorGenFailure);
        if (!CloseHandle(out) && error == kOk) error = lastErrorOr(kErrorGenFailure);
        if (error != kOk) return error;
        // From here until the StopTool goes, others may read and run the file, but not write,
        // rename or delete it. The program loader asks for no more than that.
        held_ = CreateFileW(file_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
        if (held_ == INVALID_HANDLE_VALUE) return lastErrorOr(kErrorGenFailure);
        // What is held is what was written: a swap between the two opens would show here.
        return holdsExactly(held_, bytes) ? kOk : kErrorAccessDenied;
    }

private:
    std::wstring folder_;
    std::wstring file_;
    std::string path_;
    HANDLE held_ = INVALID_HANDLE_VALUE;
};

}  // namespace

std::unique_ptr<StopTool> placeStopTool(OsError& error)
{
    error = kOk;
    if (toolResource(true) == nullptr && toolResource(false) == nullptr) return nullptr;
    std::wstring folder = newTemporaryFolder(error);
    if (error != kOk) return nullptr;
    return std::make_unique<TemporaryStopTool>(std::move(folder));
}

}  // namespace platform::native
