// A tessaray-sim process for tests: a fresh bus directory, the simulator serving the given devices
// with its record in the same temporary folder, and a clean stop when the object goes.
// A Linux build starts the simulator itself. A Windows build, run under Wine, cannot start or wait
// for a Linux program: it asks the test broker (broker_connection_win.h) to run one for it on the
// Linux side, and reaches its files through Wine's drives.
#pragma once

#include "platform/hid/hid.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace lumaro::test {

// One line of the simulator's record: a report (dir "out": host to device, "in": device to host)
// or an event (dir and report empty).
struct SimRecord {
    double tMs = 0;
    std::string device;
    std::string dir;
    platform::Report report{};
    std::string event;
    // The values an event carries, by name; numbers as their decimal text. See the event list below.
    std::map<std::string, std::string> fields;
};

// The simulated devices, as tests meet them.
//
// Controllers ("--controller NAME,key=value..."; hardware ID HID\VID_1FC9&PID_0003&REV_0100 unless
// id= is given) answer the controller frames (0xA9 at byte 1):
//  - 0x98 erase image flash: acknowledged after erase-ms (default 300); no report is taken meanwhile.
//  - 0x96 start (00 d1 d2) / end (01 00 00) and 0x97 record (index big-endian in payload bytes 0-1,
//    54 data bytes): acknowledged at once. Records are kept by index; "dump NAME PATH" (or
//    imageData()) gives them back. An acknowledgement is a frame A9 06 01 00 cmd 06 0D checksum 5C.
//  - 0x0F temperature, 0x05 all channels, 0x24 fan speed: data replies in the raw encodings
//    (temperature bytes 6.. and end byte at 9; twelve LE16 channels at 6..29, end at 31; fan raw
//    LE16 at 6..7 with the top bit set as a valid flag, end at 9), drifting slowly along seeded
//    sine waves (seed=N, default 1) in 250 ms steps. arrays=1|2 (default 1) picks the temperature
//    layout: 1: array1, ambient; 2: array1, array2, ambient (no room for a checksum then).
//  - 0x9A bootloader mode: no reply; the controller leaves the bus and after disk-ms (default
//    1500) shows its update disk drives/<L>/ (disk-letter=L, default the first free from F)
//    holding firmware.bin (firmware=FILE, default "tessaray firmware 1.0.0\n").
//  - The bus has tools/S1 and tools/S2 (shell scripts). Copied and run as the program runs them,
//    "USBDeview.exe /stop_by_drive F:", they take drives/F/Upfirmware.bin as the new firmware,
//    remove the drive and plug the controller back in; they exit 0 once it is back, 1 (with a
//    message on stderr) for a drive that is not the simulator's update disk. An empty
//    drives/<L>.stop asks the same for a Windows host: removed once the drive is stopped (drive
//    gone, controller back), or holding "refused".
// Faults (on the command line, or at run time with "set NAME key=value"):
//  fault=silent (takes reports, answers nothing), fault=no-ack (answers all but acknowledgements),
//  wrong-acks=N (the next N acknowledgements each come after one that echoes another command),
//  unplug-after=N (leaves the bus as the Nth report arrives, e.g. in the middle of the image data),
//  disk=none (no disk after bootloader mode), disk=refuse (Upfirmware.bin is a folder: the copy
//  fails), disk=refuse-stop (a stop of its disk is refused, by the tool and the bus alike), disk=normal, timing=full-speed (one report each way per 1 ms frame).
// Boards ("--board NAME,...") are "47J53" boards: their HID bootloader answers bootloader commands
// (byte 1 = 0x02..0x08; BootCmdReset: leaves, back as a fresh device after reset-ms), and they
// answer the controller frames as a controller does (measurements, image-flash erase after
// erase-ms and the image data; the faults above too), except 0x9A: a board has no update disk.
// Events (the "event" of a record, with its fields): plugged, unplugged, image-erased,
//  image-start {digit1, digit2}, image-end {records}, record-outside-transfer, bootloader-mode,
//  disk-shown {drive: "F:"}, disk-failed, disk-removed {drive} (unplugged or plugged while in its
//  bootloader), disk-stopped {drive}, firmware-updated {bytes}, firmware-unchanged,
//  unknown-request {command}, protocol-error; boards also erased, reset, framing-error.

class SimProcess {
public:
    // deviceArgs: the DEVICE part of the command line, e.g. {"--board", "board,erase-ms=50"}.
    // The simulator is also stopped when the thread that created this object ends, so that a
    // crashed test leaves nothing running: create it on the thread that runs the test.
    // Throws std::runtime_error when the simulator does not print "ready" within readyLimit.
    explicit SimProcess(const std::vector<std::string>& deviceArgs,
                        std::chrono::milliseconds readyLimit = std::chrono::seconds(10));
    ~SimProcess();  // stops the simulator and removes the temporary folder
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // The temporary folder that holds the bus and the record, as the simulator names it.
    const std::string& simulatorFolder() const { return simRoot_; }
    const std::string& busDir() const { return busDir_; }
    std::string controlPath() const { return busDir_ + "/sim.control"; }
    std::string recordPath() const;
    // The interface path the bus's listing gives for the device's interface of that name.
    std::string interfacePath(const std::string& name) const;

    // Points this process's virtual-bus clients at the simulator's bus (LUMARO_VBUS_DIR), as on a
    // PC that has updated the controller models before: it knows their update disk (the simulated
    // controllers' bootloader disk, USB\VID_1FC9&PID_0114), in the user's data (useUserDataFolderIn).
    void useBus() const;
    // As on a PC that has never seen an update disk.
    void forgetUpdateDisks() const;

    // Sends one control command ("unplug board") and returns the answer line ("ok", "error ...");
    // throws std::runtime_error when no answer comes within 5 s.
    std::string control(const std::string& command) const;

    // The image flash of a device (control command "dump"): record i at byte 54 x i, records never
    // written as 0xFF; empty after an erase. Throws std::runtime_error when the dump fails.
    std::vector<std::uint8_t> imageData(const std::string& device) const;

    // Everything recorded so far, in order.
    std::vector<SimRecord> records() const;

    // Waits until the record holds the given event of the device `count` times; false after limit.
    bool waitForEvent(const std::string& device, const std::string& event, int count = 1,
                      std::chrono::milliseconds limit = std::chrono::seconds(5)) const;

    // Ends the simulator (SIGTERM unless it has ended already; SIGKILL when it does not end in
    // time) and returns its exit code, or 128 + the signal that ended it.
    int stop();

private:
    class Running;  // the simulator process, or the broker's connection that holds it

    std::string simRoot_;  // the temporary folder as the simulator names it
    std::string root_;     // the same, as this process reaches it
    std::string busDir_;
    std::unique_ptr<Running> running_;
};

}  // namespace lumaro::test
