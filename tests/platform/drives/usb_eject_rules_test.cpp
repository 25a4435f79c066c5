// Ejecting the update disk's USB device: which node of the device tree is asked (never a hub or a
// dock above the disk), how the configuration manager's answers are taken, and the retries while a
// scanner holds the disk, with a stand-in for the eject request.
#include "platform/drives/usb_eject_rules.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>

namespace {

using namespace std::chrono_literals;
using platform::DeviceNode;
using platform::EjectAnswer;
using platform::EjectVerdict;
using platform::nodeToEject;

const DeviceNode kDisk{"USBSTOR\\DISK&VEN_LUMARO&PROD_UPDATE&REV_1.00\\7&1F2E3D&0", {"USBSTOR\\Disk", "GenDisk"}, "disk"};
const DeviceNode kStick{"USB\\VID_04D8&PID_0040\\LT0001234", {"USB\\Class_08&SubClass_06&Prot_50", "USB\\Class_08"},
                        "USBSTOR"};
const DeviceNode kHub{"USB\\VID_2109&PID_2817\\6&3A4B&0&1", {"USB\\Class_09&SubClass_00&Prot_02", "USB\\Class_09"},
                      "USBHUB3"};
const DeviceNode kRootHub{"USB\\ROOT_HUB30\\4&2C3D&0&0", {}, "USBHUB3"};
const DeviceNode kController{"PCI\\VEN_8086&DEV_A36D&SUBSYS_00000000&REV_10\\3&11583659&0&A0", {"PCI\\CC_0C0330"},
                             "USBXHCI"};

TEST(UsbEjectTarget, TheFirstUsbDeviceAboveTheDiskNeverAHubOrDockAboveIt)
{
    EXPECT_EQ(nodeToEject({kDisk, kStick, kHub, kRootHub, kController}), 1u);

    // One function of a composite device: the device itself is ejected, not the hub above it.
    const DeviceNode function{"usb\\vid_04d8&pid_0040&mi_01\\7&2B3C&0&0001", {"USB\\Class_08"}, "USBSTOR"};
    const DeviceNode composite{"USB\\VID_04D8&PID_0040\\LT0001234", {"USB\\DevClass_00", "USB\\COMPOSITE"}, "usbccgp"};
    EXPECT_EQ(nodeToEject({kDisk, function, composite, kHub, kRootHub}), 2u);

    // A disk whose first USB node is a hub (a card reader inside a dock's hub, as it shows itself):
    // nothing is ejected rather than the dock with everything on it.
    EXPECT_EQ(nodeToEject({kDisk, kHub, kRootHub, kController}), std::nullopt);
    const DeviceNode hubByServiceOnly{"USB\\VID_05E3&PID_0610\\5&1A&0&4", {}, "usbhub"};
    EXPECT_EQ(nodeToEject({kDisk, hubByServiceOnly, kRootHub}), std::nullopt);
    EXPECT_EQ(nodeToEject({kDisk, kRootHub, kController}), std::nullopt);

    // No USB device holds it (a card slot on the board, a fixed disk): no controller's, never ejected.
    const DeviceNode cardDisk{"SCSI\\DISK&VEN_GENERIC&PROD_SD_CARD\\4&5A&0&000000", {"SCSI\\Disk"}, "disk"};
    EXPECT_EQ(nodeToEject({cardDisk, kController}), std::nullopt);
    EXPECT_EQ(nodeToEject({}), std::nullopt);
}

TEST(UsbEjectAnswer, VetoesFromThoseHoldingTheDiskAreWaitedOutOthersAreNot)
{
    using platform::judgeEjectAnswer;
    EXPECT_EQ(judgeEjectAnswer({platform::kConfigSuccess, platform::kVetoTypeUnknown, ""}), EjectVerdict::Ejected);
    EXPECT_EQ(judgeEjectAnswer({platform::kConfigRemoveVetoed, platform::kVetoAlreadyRemoved, ""}), EjectVerdict::Ejected);
    for (const std::uint32_t holder : {platform::kVetoTypeUnknown, platform::kVetoPendingClose, platform::kVetoWindowsApp,
                                       platform::kVetoWindowsService, platform::kVetoOutstandingOpen,
                                       platform::kVetoDevice, platform::kVetoDriver})
        EXPECT_EQ(judgeEjectAnswer({platform::kConfigRemoveVetoed, holder, "x"}), EjectVerdict::TryAgain) << holder;
    // Some systems answer a veto with success and the veto's type.
    EXPECT_EQ(judgeEjectAnswer({platform::kConfigSuccess, platform::kVetoWindowsApp, "x"}), EjectVerdict::TryAgain);
    EXPECT_EQ(judgeEjectAnswer({platform::kConfigAccessDenied, platform::kVetoTypeUnknown, ""}), EjectVerdict::NotAllowed);
    EXPECT_EQ(judgeEjectAnswer({platform::kConfigRemoveVetoed, platform::kVetoInsufficientRights, ""}),
              EjectVerdict::NotAllowed);
    EXPECT_EQ(judgeEjectAnswer({platform::kConfigRemoveVetoed, 10, "x"}), EjectVerdict::Refused);  // not disableable
    // The device is gone by the time the system answers: it left as it was being stopped.
    EXPECT_EQ(judgeEjectAnswer({platform::kConfigNoSuchDevNode, platform::kVetoTypeUnknown, ""}), EjectVerdict::Ejected);
    EXPECT_EQ(judgeEjectAnswer({platform::kConfigInvalidDevNode, platform::kVetoTypeUnknown, ""}), EjectVerdict::Ejected);
    EXPECT_EQ(judgeEjectAnswer({0x13, platform::kVetoTypeUnknown, ""}), EjectVerdict::Refused);  // CR_FAILURE
}

// Answers in turn with the given answers, the last one for good, and counts the requests.
struct ScriptedEject {
    std::vector<EjectAnswer> answers;
    int requests = 0;

    EjectAnswer operator()()
    {
        const std::size_t turn = std::min(static_cast<std::size_t>(requests), answers.size() - 1);
        ++requests;
        return answers[turn];
    }
};

const EjectAnswer kScannerHolds{platform::kConfigRemoveVetoed, platform::kVetoWindowsApp,
                                "\\Device\\HarddiskVolume3\\ProgramData\\Scanner\\scan.exe"};
const EjectAnswer kEjected{platform::kConfigSuccess, platform::kVetoTypeUnknown, ""};

TEST(UsbEjectRetries, ADiskHeldForAMomentIsEjectedOnceItIsLetGo)
{
    ScriptedEject eject{{kScannerHolds, kScannerHolds, kScannerHolds, kEjected}};
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(platform::ejectWithRetries(std::ref(eject), "F:", false, 2s, 30ms), std::nullopt);
    EXPECT_EQ(eject.requests, 4);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 90ms);
}

TEST(UsbEjectRetries, ADiskHeldThroughoutFailsWhenTheTimeIsUpNamingWhatHoldsIt)
{
    ScriptedEject eject{{kScannerHolds}};
    const auto start = std::chrono::steady_clock::now();
    const std::optional<std::string> problem = platform::ejectWithRetries(std::ref(eject), "F:", false, 300ms, 20ms);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(problem, "the device of F: was still held after 300 ms of asking (held by " + kScannerHolds.vetoName + ")");
    EXPECT_GE(took, 280ms);
    EXPECT_LT(took, 1s);
    EXPECT_GE(eject.requests, 8);

    // In a remote desktop session the user is told what to do instead.
    ScriptedEject remote{{kScannerHolds}};
    const std::optional<std::string> remoteProblem = platform::ejectWithRetries(std::ref(remote), "F:", true, 100ms, 20ms);
    ASSERT_TRUE(remoteProblem.has_value());
    EXPECT_NE(remoteProblem->find("; unplug the controller now"), std::string::npos) << *remoteProblem;
}

TEST(UsbEjectRetries, AUserWhoMayNotEjectOrADeviceThatCannotBeIsToldAtOnce)
{
    ScriptedEject denied{{{platform::kConfigAccessDenied, platform::kVetoTypeUnknown, ""}, kEjected}};
    EXPECT_EQ(platform::ejectWithRetries(std::ref(denied), "F:", true, 2s, 20ms),
              "this remote desktop session may not eject the device of F:; unplug the controller now");
    EXPECT_EQ(denied.requests, 1);
    ScriptedEject noRights{{{platform::kConfigRemoveVetoed, platform::kVetoInsufficientRights, ""}, kEjected}};
    EXPECT_EQ(platform::ejectWithRetries(std::ref(noRights), "G:", false, 2s, 20ms),
              "this user may not eject the device of G:; unplug the controller now");
    EXPECT_EQ(noRights.requests, 1);

    ScriptedEject fixed{{{platform::kConfigRemoveVetoed, 10, "USB\\VID_04D8&PID_0040\\LT0001234"}, kEjected}};
    EXPECT_EQ(platform::ejectWithRetries(std::ref(fixed), "F:", false, 2s, 20ms),
              "the system refused to eject the device of F: (held by USB\\VID_04D8&PID_0040\\LT0001234)");
    EXPECT_EQ(fixed.requests, 1);
}

}  // namespace
