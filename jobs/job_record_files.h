// One device job's files in the record folder, beside the update history:
// - UpdateHistory.<id>.lock, held locked by the process that runs or finishes the job; the lock goes
//   with that process however it ends, so another instance takes only a dead job's files and never
//   a live one's;
// - UpdateHistory.<id>.running, what is known of the job while it runs;
// - UpdateHistory.<id>.stranded, an update that ended after the controller's bootloader switch
//   without being done: kept until the update is finished or the controller comes back by itself.
// Records are written whole: a new file is put in place of the old in one step, so that a kill at
// any instant leaves the old record or the new one. The folder may be one that every user writes
// into: a record or a lock is read only where its name holds a plain file (plain_file.h), and
// whatever else someone put under such a name is never followed. The files of older versions, without an id
// (UpdateHistory.running, UpdateHistory.stranded), are the job with the empty id.
#pragma once

#include "platform/files/plain_file.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

inline constexpr std::string_view kMarkerSuffix = ".running";
inline constexpr std::string_view kStrandedSuffix = ".stranded";
inline constexpr std::string_view kLockSuffix = ".lock";
inline constexpr std::string_view kUnreadableSuffix = ".unreadable";
inline constexpr std::string_view kPendingSuffix = ".pending";  // an instance's history rows not yet written

// The job id in a record's file name with the given suffix; nothing for any other name.
std::optional<std::string> jobIdOfFileName(std::string_view fileName, std::string_view suffix);

// The name of job id's file with the given suffix, and where it lives in folder (ending with a
// separator).
std::string jobFileName(const std::string& id, std::string_view suffix);
std::string jobFilePath(const std::string& folder, const std::string& id, std::string_view suffix);

// A new job's id: its start and a random part, so that two instances never pick the same.
std::string newJobId();

class JobRecordFiles {
public:
    JobRecordFiles() = default;
    JobRecordFiles(JobRecordFiles&&) noexcept = default;
    JobRecordFiles& operator=(JobRecordFiles&&) noexcept;
    JobRecordFiles(const JobRecordFiles&) = delete;
    JobRecordFiles& operator=(const JobRecordFiles&) = delete;
    ~JobRecordFiles() { release(); }

    // A new job's files in folder (ending with a separator), its lock taken; not held() when the
    // folder takes no new file.
    static JobRecordFiles create(const std::string& folder);
    // The files of job id when no live process holds them; not held() otherwise.
    static JobRecordFiles take(const std::string& folder, const std::string& id);

    bool held() const { return lock_.isOpen(); }
    // Not taken because the lock's name holds no plain file: the job's records are left alone.
    bool lockNotPlain() const { return lockNotPlain_; }
    const std::string& id() const { return id_; }
    std::string path(std::string_view suffix) const;

    // The marker, whole; sync waits until it is on the disk (a power cut then keeps it).
    bool writeMarker(const std::string& text, bool sync);
    void removeMarker();
    // The job left the controller in its bootloader: its record becomes the stranded update, on the
    // disk before this returns, and the marker goes.
    bool strand(const std::string& text);
    void removeStranded();
    // A record of this job with the given suffix, whole and on the disk before this returns.
    bool writeRecord(std::string_view suffix, const std::string& text);
    // A record that cannot be read is kept aside under the .unreadable suffix, not thrown away;
    // false when it could not be.
    bool setAside(std::string_view suffix);

    // Lets the job's files go: the lock is dropped and its file removed; the records stay.
    void release();

private:
    bool writeWhole(std::string_view suffix, const std::string& text, bool sync);

    std::string folder_;
    std::string id_;
    platform::File lock_;
    bool lockNotPlain_ = false;
};

// The lock file name in folder, made when there is none (with the rights the folder gives to
// others: another user's program locks it too) or opened as it is when it is a plain file; not
// locked yet.
platform::PlainFileOpening openLockFile(const std::string& folder, const std::string& name);

// A record of folder read whole, at most maxBytes of it: what its name holds, and its text when that
// is a plain file that could be read; error: the system's words when it could not be.
struct RecordText {
    platform::PlainFileOpening::Found found = platform::PlainFileOpening::Found::Nothing;
    std::optional<std::string> text;
    std::string error;
};
RecordText readRecordFile(const std::string& folder, const std::string& name, std::size_t maxBytes);

// The ids of the jobs that have a file with the given suffix in folder, in name order.
std::vector<std::string> jobIdsIn(const std::string& folder, std::string_view suffix);
