#include "update_disk_rule.h"

#include "platform/core/usb_port.h"

namespace {

DiskChoice notIt(const DriveFacts& drive, const std::string& why) {
    return {DiskVerdict::NotIt, {}, drive.drive + " " + why};
}

// What the identity of a drive's USB device says of it.
struct DeviceFit {
    enum Kind {
        Seen,         // the device this update saw
        LearnedKind,  // of the kind learned for the model, where no device was seen
        Unknown,      // nothing for or against it
        Other,        // not the disk: why
    } kind;
    std::string why;
};

DeviceFit deviceFit(const std::string& identity, const DiskExpectation& expected) {
    if (!expected.unitIdentity.empty()) {
        if (identity == expected.unitIdentity) return {DeviceFit::Seen, {}};
        return {DeviceFit::Other, "is another USB device (" + (identity.empty() ? std::string("not known") : identity) +
                                      ") than the update disk this update saw (" + expected.unitIdentity + ")"};
    }
    if (expected.learnedModel.empty() || identity.empty()) return {DeviceFit::Unknown, {}};
    if (platform::usbModelIdentity(identity) == expected.learnedModel) return {DeviceFit::LearnedKind, {}};
    return {DeviceFit::Other, "is a USB device (" + identity + ") of another kind than this controller's update disk (" +
                                  expected.learnedModel + ")"};
}

}  // namespace

DiskChoice judgeUpdateDisk(const DriveFacts& drive, const DiskExpectation& expected) {
    if (!drive.removable) return notIt(drive, "is not a removable drive");
    const DeviceFit fit = deviceFit(drive.identity, expected);
    // Only a disk this job saw may show just the new file: a copy cut short after the old file went.
    if (!drive.holdsOldFirmware && !(fit.kind == DeviceFit::Seen && drive.holdsNewFirmware))
        return notIt(drive, "holds no firmware.bin");
    if (!expected.port.empty() && drive.port != expected.port)
        return notIt(drive, "is on another USB port than the controller");
    if (fit.kind == DeviceFit::Seen) return {DiskVerdict::Take, drive, {}};
    // A device this update saw is the only one it takes, also against a person's word.
    if (!expected.unitIdentity.empty()) return notIt(drive, fit.why);
    if (expected.confirmed && sameDiskAsJudged(*expected.confirmed, drive)) return {DiskVerdict::Take, drive, {}};
    if (fit.kind == DeviceFit::LearnedKind) return {DiskVerdict::Take, drive, {}};
    if (fit.kind == DeviceFit::Other) return notIt(drive, fit.why);
    return {DiskVerdict::Ask, drive, {}};
}

bool mayBeUpdateDiskDevice(const std::string& identity, const DiskExpectation& expected) {
    return deviceFit(identity, expected).kind != DeviceFit::Other;
}

DiskChoice chooseUpdateDisk(const std::vector<DriveFacts>& candidates, const DiskExpectation& expected) {
    std::vector<DiskChoice> takes;
    std::vector<DiskChoice> asks;
    std::string whyNot;
    for (const DriveFacts& drive : candidates) {
        DiskChoice choice = judgeUpdateDisk(drive, expected);
        if (choice.verdict == DiskVerdict::Take) takes.push_back(choice);
        else if (choice.verdict == DiskVerdict::Ask) asks.push_back(choice);
        else whyNot += (whyNot.empty() ? "" : "; ") + choice.why;
    }
    // Two controllers of one model switched at once are told apart by their ports only.
    const auto several = [](const std::vector<DiskChoice>& choices) {
        std::string drives;
        for (const DiskChoice& choice : choices) drives += (drives.empty() ? "" : ", ") + choice.disk.drive;
        return DiskChoice{DiskVerdict::NotIt, {}, "several drives could be the update disk (" + drives +
                                                      "): none is chosen"};
    };
    if (takes.size() == 1) return takes.front();
    if (takes.size() > 1) return several(takes);
    if (asks.size() == 1) return asks.front();
    if (asks.size() > 1) return several(asks);
    return {DiskVerdict::NotIt, {}, whyNot};
}

bool sameDiskAsJudged(const DriveFacts& judged, const DriveFacts& now) {
    return now.drive == judged.drive && now.port == judged.port && now.identity == judged.identity &&
           now.removable == judged.removable && (now.holdsOldFirmware || (!judged.holdsOldFirmware && now.holdsNewFirmware));
}
