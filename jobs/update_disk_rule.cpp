#include "update_disk_rule.h"

#include "platform/core/usb_port.h"

namespace {

DiskChoice notIt(const DriveFacts& drive, const std::string& why) {
    return {DiskVerdict::NotIt, {}, drive.drive + " " + why};
}

}  // namespace

DiskChoice judgeUpdateDisk(const DriveFacts& drive, const DiskExpectation& expected) {
    if (!drive.removable) return notIt(drive, "is not a removable drive");
    const bool seenBefore = !expected.unitIdentity.empty() && drive.identity == expected.unitIdentity;
    // Only a disk this job saw may show just the new file: a copy cut short after the old file went.
    if (!drive.holdsOldFirmware && !(seenBefore && drive.holdsNewFirmware))
        return notIt(drive, "holds no firmware.bin");
    if (!expected.port.empty() && drive.port != expected.port)
        return notIt(drive, "is on another USB port than the controller");
    if (!expected.unitIdentity.empty()) {
        if (seenBefore) return {DiskVerdict::Take, drive.drive, {}};
        return notIt(drive, "is another USB device (" + (drive.identity.empty() ? std::string("not known") : drive.identity) +
                                ") than the update disk this update saw (" + expected.unitIdentity + ")");
    }
    if (expected.confirmed && sameDiskAsJudged(*expected.confirmed, drive)) return {DiskVerdict::Take, drive.drive, {}};
    if (!expected.learnedModel.empty() && !drive.identity.empty()) {
        if (platform::usbModelIdentity(drive.identity) == expected.learnedModel) return {DiskVerdict::Take, drive.drive, {}};
        return notIt(drive, "is a USB device (" + drive.identity + ") of another kind than this controller's update disk (" +
                                expected.learnedModel + ")");
    }
    return {DiskVerdict::Ask, drive.drive, {}};
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
        for (const DiskChoice& choice : choices) drives += (drives.empty() ? "" : ", ") + choice.drive;
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
