// Which drive is the controller's update disk: a rule over the facts the platform gathered of each
// drive, so that firmware is never written where it does not belong. A drive is the disk only when
// it holds the controller's firmware file, sits on the controller's USB port where ports are known,
// and is the USB device this job saw for its disk, or, for a disk the job has not seen yet, a device
// of the kind learned for this model on this PC; otherwise only a person may say it is.
#pragma once

#include <optional>
#include <string>
#include <vector>

// What the finish or the search needs to know of a present drive.
struct DriveFacts {
    std::string drive;
    std::string port;      // empty: not known
    std::string identity;  // of the USB device that holds it (platform::driveUsbIdentity); empty: not known
    bool removable = false;
    bool holdsOldFirmware = false;  // "firmware.bin" at its root
    bool holdsNewFirmware = false;  // "Upfirmware.bin": an earlier copy, which takes the old file's place
};

// What a job knows of its controller's update disk.
struct DiskExpectation {
    std::string port;             // the controller's USB port; empty: the system cannot tell
    std::string unitIdentity;     // the identity of the disk this job (or the job it finishes) saw
    std::string learnedModel;     // the identity's model part learned for this controller's model
    // A drive a person named or confirmed as the disk, as it was then: it counts while it still is.
    std::optional<DriveFacts> confirmed;
};

enum class DiskVerdict {
    Take,   // the controller's disk
    Ask,    // may be: only a person can tell
    NotIt,  // never written to
};

struct DiskChoice {
    DiskVerdict verdict = DiskVerdict::NotIt;
    DriveFacts disk;    // with Take and Ask: the drive taken or asked about, as it was judged
    std::string why;    // with NotIt: why no drive was taken, for the log; empty when there was no candidate
};

// The verdict on one drive, with why it is not the disk.
DiskChoice judgeUpdateDisk(const DriveFacts& drive, const DiskExpectation& expected);

// The disk among the candidates (the drives new since the bootloader switch, or every present drive
// for the finish of a stranded update). Never chooses between two drives that could each be it:
// NotIt then, saying so.
DiskChoice chooseUpdateDisk(const std::vector<DriveFacts>& candidates, const DiskExpectation& expected);

// Whether a USB device with this identity (empty: not known) may hold the update disk, before its
// volume is a drive: one whose drive the rule above could take or ask about. Only such a device's
// volume is mounted where the system does not mount USB disks by itself.
bool mayBeUpdateDiskDevice(const std::string& identity, const DiskExpectation& expected);

// Whether a drive still shows what it showed when it was judged: the same USB device on the same
// port, with the firmware file still there. Checked again just before writing.
bool sameDiskAsJudged(const DriveFacts& judged, const DriveFacts& now);
