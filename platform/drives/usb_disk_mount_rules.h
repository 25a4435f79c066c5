// Which volumes of USB disks the program mounts itself, and when it tries again. Without a desktop's
// automounter (a bare window manager, a line's kiosk, a text console) the controller's update disk
// would never become a drive; yet no other volume is mounted: a stick its user unmounted stays so.
// Apart from udev, sysfs and udisks2 (drives_linux.cpp), so that the decisions can be tested anywhere.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <set>
#include <string>

namespace platform {

// What the system says of one block device (a disk or a partition) that may hold a volume.
struct BlockVolume {
    std::string port;              // of the USB device that holds it; empty: not on USB
    std::string identity;          // of that USB device (usbIdentity); empty: not known
    bool onRemovableDisk = false;
    bool fat = false;              // udev found a FAT file system on it
    bool leftAlone = false;        // udev tells udisks2 to leave it alone
    bool noMedium = false;         // size 0
    bool mounted = false;
};

// Whether volume is to be mounted for a look for the USB disks on port whose device's identity
// wanted takes: a FAT volume of a removable disk on that very port (a port that is not known names
// none), not mounted yet.
bool isVolumeToMount(const BlockVolume& volume, const std::string& port,
                     const std::function<bool(const std::string& identity)>& wanted);

// The tries to mount each volume, by a key of its device (its numbers, and what tells it from a later
// device given the same numbers). A volume is tried again while its device stays (udisks2 may not
// have been ready, or a try ran out of time while the mount went on), after a pause at least as long
// as the last try took, so that a stuck udisks2 does not take most of a caller's time; a try under
// way is not doubled by another caller. A volume the program unmounted to stop its disk is not
// mounted again while its device stays: the disk must leave and come back.
class MountTries {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kLeastPause{2000};

    bool isDue(const std::string& volume, Clock::time_point now) const;
    void began(const std::string& volume, Clock::time_point now);
    // problem: why the try failed; empty when it succeeded.
    void ended(const std::string& volume, Clock::time_point now, std::string problem);
    // The program is about to unmount the volume to stop its disk.
    void stopping(const std::string& volume);
    // Why the last try of the volume failed; empty when it did not, or when none ended.
    std::string problem(const std::string& volume) const;
    // Forgets the volumes whose devices left, once no try of them is under way.
    void keepOnly(const std::set<std::string>& presentVolumes);

private:
    struct Try {
        Clock::time_point began;
        Clock::time_point ended;
        bool running = true;
        bool stopped = false;
        std::string problem;
    };
    std::map<std::string, Try> tries_;
};

}  // namespace platform
