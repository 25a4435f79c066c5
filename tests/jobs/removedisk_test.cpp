// The update disk: which new drive is taken, the checked firmware copy, and the stop tool run on the
// virtual bus from shell scripts written by the tests.
#include "jobs/removedisk.h"
#include "temporary_bus.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>


namespace {

namespace fs = std::filesystem;

std::string contentsOf(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const fs::path& file, const std::string& contents) {
    std::ofstream(file, std::ios::binary) << contents;
}

void writeScript(const fs::path& file, const std::string& body) {
    writeFile(file, "#!/bin/sh\n" + body + "\n");
    fs::permissions(file, fs::perms::owner_all);
}

// A bus folder (optionally at a given name below a fresh temporary folder) with drives and tools.
class Bus : public bustest::TemporaryBus {
public:
    explicit Bus(const std::string& name = "bus") : TemporaryBus(name) {
        fs::create_directories(dir() / "drives");
        fs::create_directories(dir() / "tools");
    }

    fs::path drive(char letter) const {
        const fs::path root = dir() / "drives" / std::string(1, letter);
        fs::create_directories(root);
        return root;
    }
    // Both tool builds note how they were started in a file named after the build.
    void installRecordingTools() const {
        for (const char* build : {"S1", "S2"})
            writeScript(dir() / "tools" / build, std::string("printf '%s|%s|%s' \"$0\" \"$1\" \"$2\" > \"$LUMARO_VBUS_DIR/ran-") +
                                                    build + "\"");
    }

};

TEST(UpdateDriveChoice, NewDrivesAreWhatIsLeftOfTheSecondList) {
    EXPECT_EQ(newDrives({"C:", "D:"}, {"C:", "D:", "F:"}), DriveList{"F:"});
    EXPECT_EQ(newDrives({"C:", "D:", "E:"}, {"C:", "D:"}), DriveList{});
    EXPECT_EQ(newDrives({"C:", "D:"}, {"C:", "D:", "F:", "G:"}), (DriveList{"F:", "G:"}));
    EXPECT_EQ(newDrives({"C:", "E:"}, {"C:", "D:", "F:"}), (DriveList{"D:", "F:"}));  // E: left meanwhile
    EXPECT_EQ(newDrives({"F:"}, {"F:", "F:"}), DriveList{"F:"});                       // taken out once
    EXPECT_EQ(newDrives({}, {"/media/u/LUMARO"}), DriveList{"/media/u/LUMARO"});
}

// The update disk is the controller's own: on its port where ports are known, holding its firmware
// file, and the USB device the update saw, else one of the kind learned for the model; else a person
// must say so. Never one of two that could each be it.
TEST(UpdateDiskRule, OnlyTheControllersOwnDiskIsTaken) {
    const std::string disk = "USB\\VID_1FC9&PID_0114\\TSIM-ctl";
    const std::string otherUnit = "USB\\VID_1FC9&PID_0114\\TSIM-two";
    const std::string stick = "USB\\VID_0951&PID_1666\\STICK-s";
    const std::string model = "USB\\VID_1FC9&PID_0114";
    const DriveFacts ours{"F:", "1-4", disk, true, true, false};
    const DriveFacts copyCutShort{"F:", "1-4", disk, true, false, true};
    const DriveFacts strangerOnPort{"G:", "1-4", stick, true, true, false};
    const DriveFacts photos{"H:", "1-4", stick, true, false, false};
    const DriveFacts fixed{"I:", "1-4", disk, false, true, false};
    const DriveFacts unknownDevice{"J:", "", "", true, true, false};
    struct Case {
        const char* what;
        DriveFacts drive;
        DiskExpectation expected;
        DiskVerdict verdict;
    };
    const Case cases[] = {
        {"the disk this update saw", ours, {"1-4", disk, "", {}}, DiskVerdict::Take},
        {"its copy cut short", copyCutShort, {"1-4", disk, "", {}}, DiskVerdict::Take},
        {"a stranger's stick in its port", strangerOnPort, {"1-4", disk, model, {}}, DiskVerdict::NotIt},
        {"another unit's disk", {"F:", "1-4", otherUnit, true, true, false}, {"1-4", disk, model, {}}, DiskVerdict::NotIt},
        {"a stick without firmware.bin", photos, {"1-4", "", "", {}}, DiskVerdict::NotIt},
        {"a fixed drive", fixed, {"1-4", disk, "", {}}, DiskVerdict::NotIt},
        {"another port", ours, {"2-1", disk, "", {}}, DiskVerdict::NotIt},
        {"the learned kind, not seen yet", ours, {"1-4", "", model, {}}, DiskVerdict::Take},
        {"only the new file, not seen yet", copyCutShort, {"1-4", "", model, {}}, DiskVerdict::NotIt},
        {"a stick of another kind", strangerOnPort, {"1-4", "", model, {}}, DiskVerdict::NotIt},
        {"nothing learned", ours, {"1-4", "", "", {}}, DiskVerdict::Ask},
        {"no identity known", unknownDevice, {"", "", model, {}}, DiskVerdict::Ask},
        {"confirmed as it still is", ours, {"1-4", "", "", ours}, DiskVerdict::Take},
        {"confirmed, then swapped", strangerOnPort, {"1-4", "", "", DriveFacts{"G:", "1-4", disk, true, true, false}},
         DiskVerdict::Ask},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(judgeUpdateDisk(c.drive, c.expected).verdict, c.verdict) << c.what;
        // Where the system does not mount USB disks, only a device whose drive could be taken or
        // asked about is mounted; the person's word counts for a drive only (one is mounted then).
        if (!c.expected.confirmed) {
            EXPECT_EQ(mayBeUpdateDiskDevice(c.drive.identity, c.expected),
                      c.verdict != DiskVerdict::NotIt || !c.drive.removable || !c.drive.holdsOldFirmware ||
                          c.drive.port != c.expected.port)
                << c.what << ": mounted";
        }
    }

    const DiskExpectation noPorts{"", "", model, {}};
    EXPECT_EQ(chooseUpdateDisk({photos, ours}, {"1-4", "", model, {}}).disk.drive, "F:");
    EXPECT_EQ(chooseUpdateDisk({{"F:", "", disk, true, true, false}, {"K:", "", disk, true, true, false}}, noPorts).verdict,
              DiskVerdict::NotIt)
        << "never one of two";
    EXPECT_EQ(chooseUpdateDisk({unknownDevice, {"K:", "", "", true, true, false}}, noPorts).verdict, DiskVerdict::NotIt);
    const DiskChoice none = chooseUpdateDisk({strangerOnPort}, {"1-4", disk, model, {}});
    EXPECT_EQ(none.verdict, DiskVerdict::NotIt);
    EXPECT_NE(none.why.find("another USB device"), std::string::npos) << none.why;
}

TEST(UpdateDriveChoice, DriveListsShowAsTheLogWritesThem) {
    EXPECT_EQ(formatDriveList({"C:", "D:", "E:"}), "C:D:E:");
    EXPECT_EQ(formatDriveList({}), "");
    EXPECT_EQ(formatDriveList({"/media/u/A", "/media/u/B C"}), "/media/u/A /media/u/B C");
}

TEST(UpdateDriveOnBus, DrivesAreTheLetterFoldersCToZ) {
    Bus bus;
    EXPECT_EQ(GetDriveList(), DriveList{});
    bus.drive('D');
    bus.drive('C');
    bus.drive('Z');
    fs::create_directories(bus.dir() / "drives/B");
    fs::create_directories(bus.dir() / "drives/EF");
    writeFile(bus.dir() / "drives/E", "not a folder");
    EXPECT_EQ(GetDriveList(), (DriveList{"C:", "D:", "Z:"}));
}

// The bus says each drive's port and USB device; a drive without them is not known by them.
TEST(UpdateDriveOnBus, DriveFactsCarryThePortAndTheUsbDevice) {
    Bus bus;
    writeFile(bus.dir() / "drives/E.port", "2-1\n");
    writeFile(bus.dir() / "drives/E.usb", "USB\\VID_0951&PID_1666\\STICK-s\n");
    writeFile(bus.drive('E') / "firmware.bin", "a stick's");
    writeFile(bus.drive('G') / "Upfirmware.bin", "new");
    const std::vector<DriveFacts> facts = GetDriveFacts();
    ASSERT_EQ(facts.size(), 2u);
    EXPECT_EQ(facts[0].port, "2-1");
    EXPECT_EQ(facts[0].identity, "USB\\VID_0951&PID_1666\\STICK-s");
    EXPECT_TRUE(facts[0].holdsOldFirmware && facts[0].removable);
    EXPECT_EQ(facts[1].identity, "");
    EXPECT_TRUE(!facts[1].holdsOldFirmware && facts[1].holdsNewFirmware);
    EXPECT_EQ(GetDriveFacts({"G:"}).size(), 1u);
    EXPECT_NE(describeDriveForPerson("E:").find("files: firmware.bin"), std::string::npos) << describeDriveForPerson("E:");
}

TEST(FirmwareCopy, ReplacesTheOldFilesAndChecksTheCopy) {
    Bus bus;
    const fs::path drive = bus.drive('F');
    writeFile(drive / "firmware.bin", "old firmware");
    writeFile(drive / "Upfirmware.bin", "an older copy that is longer than the new firmware");
    std::string firmware(100000, '\0');
    for (std::size_t i = 0; i < firmware.size(); ++i) firmware[i] = static_cast<char>(i * 7);
    writeFile(bus.top() / "fw.bin", firmware);

    const DiskResult result = Copy_Firmware("F:", (bus.top() / "fw.bin").string());
    EXPECT_TRUE(result.ok) << result.problem;
    EXPECT_FALSE(fs::exists(drive / "firmware.bin"));
    EXPECT_EQ(contentsOf(drive / "Upfirmware.bin"), firmware);
}

TEST(FirmwareCopy, FailureIsReported) {
    Bus bus;
    bus.drive('F');
    writeFile(bus.top() / "fw.bin", "firmware");
    const DiskResult missingSource = Copy_Firmware("F:", (bus.top() / "absent.bin").string());
    EXPECT_FALSE(missingSource.ok);
    EXPECT_NE(missingSource.problem.find("absent.bin"), std::string::npos);
    // The disk left before the copy.
    const DiskResult driveGone = Copy_Firmware("G:", (bus.top() / "fw.bin").string());
    EXPECT_FALSE(driveGone.ok);
    EXPECT_NE(driveGone.problem.find("Upfirmware.bin"), std::string::npos);
    // A disk that takes the data but keeps none of it: only reading back shows it.
    fs::create_symlink("/dev/null", bus.drive('H') / "Upfirmware.bin");
    const DiskResult swallowed = Copy_Firmware("H:", (bus.top() / "fw.bin").string());
    EXPECT_FALSE(swallowed.ok);
    EXPECT_NE(swallowed.problem.find("does not match"), std::string::npos) << swallowed.problem;
}

TEST(StopToolCommandLine, QuotesThePathAndRefusesWhatCannotBeHeld) {
    EXPECT_EQ(stopToolCommandLine("C:\\Tools\\Updater\\USBDeview.exe", "F:"),
              "\"C:\\Tools\\Updater\\USBDeview.exe\" /stop_by_drive F:");
    EXPECT_EQ(stopToolCommandLine("C:\\Program Files\\Up\\USBDeview.exe", "F:"),
              "\"C:\\Program Files\\Up\\USBDeview.exe\" /stop_by_drive F:");
    const std::string longest = "C:\\" + std::string(kMaxToolPath - 17, 'd') + "\\USBDeview.exe";
    ASSERT_EQ(longest.size(), kMaxToolPath);
    EXPECT_TRUE(stopToolCommandLine(longest, "F:").has_value());
    EXPECT_FALSE(stopToolCommandLine("C:\\d" + longest.substr(3), "F:").has_value());
    EXPECT_FALSE(stopToolCommandLine("C:\\a\" & evil.exe \"\\USBDeview.exe", "F:").has_value());
    EXPECT_FALSE(stopToolCommandLine("", "F:").has_value());
}

TEST(StopToolOnBus, RunsTheBuildForTheSystemWithTheDrive) {
    Bus bus;
    bus.installRecordingTools();
    const DiskResult result = Stop_UpdateDrive("F:", true);
    EXPECT_TRUE(result.ok) << result.problem;
    EXPECT_EQ(contentsOf(bus.dir() / "ran-S2"), (bus.dir() / "USBDeview.exe").string() + "|/stop_by_drive|F:");
    EXPECT_FALSE(fs::exists(bus.dir() / "ran-S1"));

    EXPECT_TRUE(Stop_UpdateDrive("G:", false).ok);
    EXPECT_EQ(contentsOf(bus.dir() / "ran-S1"), (bus.dir() / "USBDeview.exe").string() + "|/stop_by_drive|G:");
    EXPECT_TRUE(fs::exists(bus.dir() / "USBDeview.exe"));  // stays after the run
}

TEST(StopToolOnBus, FolderWithABlankRunsNoOtherProgram) {
    Bus bus("vbus dir");
    bus.installRecordingTools();
    // Where an unquoted command line would be cut at the blank.
    writeScript(bus.top() / "vbus", "touch \"" + (bus.top() / "decoy-ran").string() + "\"");
    EXPECT_TRUE(Stop_UpdateDrive("F:", true).ok);
    EXPECT_FALSE(fs::exists(bus.top() / "decoy-ran"));
    EXPECT_EQ(contentsOf(bus.dir() / "ran-S2"), (bus.dir() / "USBDeview.exe").string() + "|/stop_by_drive|F:");
}

// A locked-down PC refuses to write or start the program's own tool: the system's eject (on the
// bus, a stop request to the device side) does its work, and the note says so. Where that is not
// answered either, the stop fails with both reasons.
TEST(StopToolOnBus, ToolThatCannotBeWrittenOrStartedGivesWayToTheSystemsEject) {
    Bus bus;
    fs::create_directories(bus.dir() / "drives/F");
    const DiskResult unanswered = Stop_UpdateDrive("F:", true, 200);
    EXPECT_FALSE(unanswered.ok);
    EXPECT_NE(unanswered.problem.find("cannot write it"), std::string::npos) << unanswered.problem;
    EXPECT_NE(unanswered.problem.find("through the system"), std::string::npos) << unanswered.problem;

    writeFile(bus.dir() / "tools/S2", "neither a script nor a program");
    std::thread deviceSide([&] {
        const auto request = bus.dir() / "drives/F.stop";
        for (int i = 0; i < 500 && !fs::exists(request); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        fs::remove_all(bus.dir() / "drives/F");
        fs::remove(request);
    });
    const DiskResult notStarted = Stop_UpdateDrive("F:", true, 10000);
    deviceSide.join();
    EXPECT_TRUE(notStarted.ok) << notStarted.problem;
    EXPECT_NE(notStarted.note.find("could not be started"), std::string::npos) << notStarted.note;
    EXPECT_NE(notStarted.note.find("stopped through the system"), std::string::npos) << notStarted.note;
}

TEST(StopToolOnBus, ToolThatDoesNotEndIsStoppedAtItsTimeLimit) {
    Bus bus;
    writeScript(bus.dir() / "tools/S2", "exec sleep 30");
    const auto start = std::chrono::steady_clock::now();
    const DiskResult result = Stop_UpdateDrive("F:", true, 300);
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.problem.find("did not end"), std::string::npos) << result.problem;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST(StopToolOnBus, ToolPathLongerThanItsBufferIsRefusedNotCut) {
    Bus bus(std::string(120, 'a') + "/" + std::string(120, 'b'));
    bus.installRecordingTools();
    const DiskResult result = Stop_UpdateDrive("F:", true);
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.problem.find("longer than 255"), std::string::npos) << result.problem;
    EXPECT_FALSE(fs::exists(bus.dir() / "USBDeview.exe"));
    EXPECT_FALSE(fs::exists(bus.dir() / "ran-S2"));
}

}  // namespace
