#include "jobs/job_record_files.h"

#include "platform/core/utf8_path.h"
#include "platform/files/exclusive_file.h"
#include "platform/files/file_lock.h"
#include "platform/files/file_move.h"
#include "platform/files/file_sync.h"
#include "platform/files/shared_file.h"

#include <QDateTime>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <random>
#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kStem = "UpdateHistory";

bool isIdCharacter(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-';
}

void removeQuietly(const std::string& path) {
    std::error_code error;
    fs::remove(platform::utf8Path(path), error);
}

}  // namespace

std::optional<std::string> jobIdOfFileName(std::string_view fileName, std::string_view suffix) {
    if (!fileName.starts_with(kStem) || !fileName.ends_with(suffix) || fileName.size() < kStem.size() + suffix.size())
        return std::nullopt;
    const std::string_view middle = fileName.substr(kStem.size(), fileName.size() - kStem.size() - suffix.size());
    if (middle.empty()) return std::string();
    if (middle.size() < 2 || middle.front() != '.' || !std::all_of(middle.begin() + 1, middle.end(), isIdCharacter))
        return std::nullopt;
    return std::string(middle.substr(1));
}

std::string newJobId() {
    std::random_device randomness;
    char part[12];
    std::snprintf(part, sizeof part, "%08x", randomness());
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")).toStdString() + '-' + part;
}

JobRecordFiles& JobRecordFiles::operator=(JobRecordFiles&& other) noexcept {
    if (this != &other) {
        release();
        folder_ = std::move(other.folder_);
        id_ = std::move(other.id_);
        lock_ = std::move(other.lock_);
        lockNotPlain_ = other.lockNotPlain_;
    }
    return *this;
}

JobRecordFiles JobRecordFiles::create(const std::string& folder) {
    for (int attempt = 0; attempt < 4; ++attempt) {
        JobRecordFiles files;
        files.folder_ = folder;
        files.id_ = newJobId();
        files.lock_ = platform::createLockFile(files.path(kLockSuffix));  // never through a planted name
        platform::shareLikeItsFolder(files.lock_, folder);
        if (files.lock_.isOpen() && platform::tryLockFile(files.lock_)) return files;
        files.lock_.close();
    }
    return {};
}

// The lock file of a dead job may be gone (removed as its holder let go, or never made by an older
// version): one is made; two instances making it at once end with one holder. A lock taken on a
// file whose name its holder removed meanwhile locks nothing: the name is opened again.
JobRecordFiles JobRecordFiles::take(const std::string& folder, const std::string& id) {
    const std::string name = jobFileName(id, kLockSuffix);
    for (int attempt = 0; attempt < 4; ++attempt) {
        platform::PlainFileOpening lock = openLockFile(folder, name);
        if (lock.found == platform::PlainFileOpening::Found::NotPlain) {
            JobRecordFiles refused;
            refused.lockNotPlain_ = true;
            return refused;
        }
        if (!lock.file.isOpen() || !platform::tryLockFile(lock.file)) return {};
        if (!platform::lockedFileIsNamed(lock.file, folder, name)) continue;
        JobRecordFiles files;
        files.folder_ = folder;
        files.id_ = id;
        files.lock_ = std::move(lock.file);
        return files;
    }
    return {};
}

// Made when it is not there, and looked for again when another instance made it first; a lock that
// cannot be made fails with the system's reason for that (a folder this user may not write into).
platform::PlainFileOpening openLockFile(const std::string& folder, const std::string& name) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        platform::PlainFileOpening existing = platform::openPlainFile(folder, name, platform::PlainFileAccess::Read);
        if (existing.found != platform::PlainFileOpening::Found::Nothing) return existing;
        platform::File made = platform::createLockFile(folder + name);
        if (made.isOpen()) {
            platform::shareLikeItsFolder(made, folder);
            return {std::move(made), platform::PlainFileOpening::Found::File};
        }
    }
    return {platform::File(), platform::PlainFileOpening::Found::Failed};
}

RecordText readRecordFile(const std::string& folder, const std::string& name, std::size_t maxBytes) {
    platform::PlainFileOpening opened = platform::openPlainFile(folder, name, platform::PlainFileAccess::Read);
    RecordText record{opened.found, std::nullopt, {}};
    if (opened.found == platform::PlainFileOpening::Found::File) record.text = opened.file.readAll(maxBytes);
    if (opened.found == platform::PlainFileOpening::Found::Failed || (opened.file.isOpen() && !record.text))
        record.error = platform::lastErrorText();
    return record;
}

std::string jobFileName(const std::string& id, std::string_view suffix) {
    return std::string(kStem) + (id.empty() ? std::string() : '.' + id) + std::string(suffix);
}

std::string jobFilePath(const std::string& folder, const std::string& id, std::string_view suffix) {
    return folder + jobFileName(id, suffix);
}

std::string JobRecordFiles::path(std::string_view suffix) const { return jobFilePath(folder_, id_, suffix); }

bool JobRecordFiles::writeWhole(std::string_view suffix, const std::string& text, bool sync) {
    std::string partial;
    platform::File file = platform::createUniqueFile(path(suffix), ".tmp", partial);
    if (!file.isOpen()) return false;
    platform::shareLikeItsFolder(file, folder_);  // another user's program finishes or records the job
    const bool written = file.write(text) == text.size() && (!sync || file.sync());
    file.close();
    const bool placed = written && (sync ? platform::moveIntoPlace(partial, path(suffix))
                                         : platform::moveIntoPlaceSoon(partial, path(suffix)));
    if (!placed) removeQuietly(partial);
    return placed;
}

bool JobRecordFiles::writeRecord(std::string_view suffix, const std::string& text) {
    return held() && writeWhole(suffix, text, true);
}

bool JobRecordFiles::writeMarker(const std::string& text, bool sync) { return held() && writeWhole(kMarkerSuffix, text, sync); }

void JobRecordFiles::removeMarker() {
    if (held()) removeQuietly(path(kMarkerSuffix));
}

// The marker's removal is waited for too: one that a power cut brought back would be recorded as
// interrupted a second time.
bool JobRecordFiles::strand(const std::string& text) {
    if (!held() || !writeWhole(kStrandedSuffix, text, true)) return false;
    removeMarker();
    platform::syncFolderToDisk(folder_);
    return true;
}

// Waited for: a stranded record that a power cut brought back would offer to finish a done update.
void JobRecordFiles::removeStranded() {
    if (!held()) return;
    removeQuietly(path(kStrandedSuffix));
    platform::syncFolderToDisk(folder_);
}

// The name is moved, never what a link there leads to.
bool JobRecordFiles::setAside(std::string_view suffix) {
    if (!held()) return false;
    std::error_code error;
    fs::rename(platform::utf8Path(path(suffix)), platform::utf8Path(path(kUnreadableSuffix)), error);
    return !error;
}

// The name goes while the lock is still held: an instance that opened the file before and locks it
// after finds it nameless (take), so that it and a newcomer making the name afresh never both hold
// the job. Where the name cannot be removed, the file stays for the next holder.
void JobRecordFiles::release() {
    if (!held()) return;
    platform::removeLockedFileName(lock_, folder_, jobFileName(id_, kLockSuffix));
    lock_.close();
}

std::vector<std::string> jobIdsIn(const std::string& folder, std::string_view suffix) {
    std::vector<std::string> ids;
    std::error_code error;
    for (fs::directory_iterator it(platform::utf8Path(folder), error), end; !error && it != end; it.increment(error)) {
        if (auto id = jobIdOfFileName(platform::utf8String(it->path().filename()), suffix)) ids.push_back(std::move(*id));
    }
    std::sort(ids.begin(), ids.end());
    return ids;
}
