// The support report's text: every section in its place, only the controllers of known models
// named, the history's last rows as they stand, files with their roles, and no user named.
#include "app/report/support_report.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const char* const kHeadings[] = {"[Program]", "[System]", "[Model table]", "[HID interfaces]", "[Drives]",
                                 "[Firmware and image data files]", "[Update history]", "[Update log]",
                                 "[System log]"};

DeviceModel model(const std::string& name, const std::string& vidPid, const std::string& chip)
{
    return DeviceModel{name, vidPid, 1, chip};
}

SupportFacts someFacts()
{
    SupportFacts facts;
    facts.createdAt = "2026-12-09 08:15:00 UTC+01:00";
    facts.computerName = "BENCH-PC";
    facts.programVersion = "1.0";
    facts.programBuild = "commit e77478a of 2026-12-09, GNU 12.2.0, Release";
    facts.programFolder = "/home/alice/lumaro/";
    facts.qtVersion = "6.4.2";
    facts.osName = "Debian GNU/Linux 12 (bookworm)";
    facts.kernel = "linux 6.1.0";
    facts.cpuArchitecture = "x86_64";
    facts.buildArchitecture = "x86_64";
    facts.models = {model("Tessaray One", "VID_1FC9&PID_0003", "LPC1764"), model("Tessaray Boot", "VID_04D8&PID_003C", "47J53")};
    facts.drives = {{"/", "fixed"}, {"/media/alice/STICK", "removable"}};
    facts.firmwareFolder = "/home/alice/lumaro/Firmware/";
    facts.updateLog = "Start to erase image flash .... \nErase flash finish !";
    facts.systemLog = "GetDevInfo ok !";
    facts.homeFolder = "/home/alice";
    facts.userFolderName = "alice";
    return facts;
}

// The text of one section: from its heading to the blank line before the next, its last line break included.
std::string section(const std::string& report, const std::string& heading)
{
    const auto start = report.find(heading);
    if (start == std::string::npos) return {};
    const auto end = report.find("\n\n", start);
    return report.substr(start, end == std::string::npos ? std::string::npos : end + 1 - start);
}

TEST(SupportReport, HasEverySectionInOrderWithTheProgramAndSystemFacts)
{
    const std::string report = supportReportText(someFacts());
    EXPECT_EQ(report.rfind("Lumaro Tessaray Controller Firmware Update Utility: support report\n", 0), 0u);
    std::size_t last = 0;
    for (const char* heading : kHeadings) {
        const auto at = report.find(std::string("\n") + heading + "\n");
        ASSERT_NE(at, std::string::npos) << heading;
        EXPECT_GT(at, last) << heading;
        last = at;
    }
    for (const char* line : {"Created: 2026-12-09 08:15:00 UTC+01:00", "Version: 1.0",
                             "Build: commit e77478a of 2026-12-09, GNU 12.2.0, Release", "Qt: 6.4.2",
                             "Program folder: ~/lumaro/", "Computer: BENCH-PC",
                             "Operating system: Debian GNU/Linux 12 (bookworm)", "Kernel: linux 6.1.0",
                             "Architecture: x86_64 (program built for x86_64)"})
        EXPECT_NE(report.find(std::string("\n") + line + "\n"), std::string::npos) << line;
    EXPECT_NE(section(report, "[Drives]").find("/media/<user>/STICK  removable"), std::string::npos);
    EXPECT_NE(section(report, "[Update log]").find("Start to erase image flash .... \nErase flash finish !\n"),
              std::string::npos);
    EXPECT_NE(section(report, "[System log]").find("GetDevInfo ok !"), std::string::npos);
    EXPECT_EQ(report.back(), '\n');
}

TEST(SupportReport, ModelTableAsReadWithLatin1NamesInUtf8)
{
    SupportFacts facts = someFacts();
    facts.models.push_back(model("Tessaray R\xE9sum\xE9", "VID_1FC9&PID_0009", "LPC1764"));
    const std::string models = section(supportReportText(facts), "[Model table]");
    EXPECT_NE(models.find("Tessaray One                 VID_1FC9&PID_0003  arrays: 1  chip: LPC1764"), std::string::npos);
    EXPECT_NE(models.find("Tessaray R\xC3\xA9sum\xC3\xA9"), std::string::npos);
    EXPECT_NE(models.find("chip: 47J53"), std::string::npos);

    facts.models.clear();
    EXPECT_NE(supportReportText(facts).find("[Model table]\n(no rows read)\n"), std::string::npos);
}

TEST(SupportReport, NamesTheInterfacesOfKnownModelsAndCountsTheOthers)
{
    SupportFacts facts = someFacts();
    facts.models.push_back(model("Blank row", "", ""));  // an empty vidPid is in every ID: it matches none
    facts.hidInterfaces = {{"HID\\VID_046D&PID_C52B&REV_1200", "/dev/hidraw0"},
                           {"hid\\vid_1fc9&pid_0003&rev_0100", "/dev/hidraw1"},  // matched upper-cased, as detection does
                           {"HID\\VID_04D8&PID_003C&REV_0002", "/dev/hidraw2"},
                           {"HID\\VID_045E&PID_07A5", "/dev/hidraw3"}};
    std::string hid = section(supportReportText(facts), "[HID interfaces]");
    EXPECT_EQ(hid, "[HID interfaces]\nOf known models:\n"
                   "  hid\\vid_1fc9&pid_0003&rev_0100  /dev/hidraw1  (Tessaray One)\n"
                   "  HID\\VID_04D8&PID_003C&REV_0002  /dev/hidraw2  (Tessaray Boot)\n"
                   "Others: 2\n");

    facts.hidInterfaces.resize(1);
    facts.hidListError = "access is denied";
    hid = section(supportReportText(facts), "[HID interfaces]");
    EXPECT_EQ(hid, "[HID interfaces]\nThe listing failed: access is denied\nOf known models: none\nOthers: 1\n");
}

TEST(SupportReport, FilesWithTheirRolesSizesAndHashes)
{
    SupportFacts facts = someFacts();
    facts.pickedFirmware = "/home/alice/lumaro/Firmware/Tessaray_FW_1.0.3.bin";
    facts.files = {{"/home/alice/lumaro/Firmware/Tessaray_FW_1.0.3.bin", 8, "c3bf47ea", "", "key E4086F9FCA4F0324, trusted comment \"file:Tessaray_FW_1.0.3.bin\""},
                   {"/home/alice/lumaro/Firmware/Tessaray_IMG_1.0.3.bin", 5, "6105d6cc", "", "unsigned"},
                   {"/home/alice/lumaro/Firmware/Tessaray_FW_0.9.bin", 9, "ab", "", "unsigned"},
                   {"/home/alice/lumaro/Firmware/notes.txt", std::nullopt, "", "", ""},
                   {"/home/alice/lumaro/Firmware/disk.iso", 100000000, "", "larger than 64 MB", ""}};
    const std::string files = section(supportReportText(facts), "[Firmware and image data files]");
    EXPECT_EQ(files, "[Firmware and image data files]\nFirmware folder: ~/lumaro/Firmware/\n"
                     "Picked firmware: ~/lumaro/Firmware/Tessaray_FW_1.0.3.bin\nPicked image data: none\n"
                     "~/lumaro/Firmware/Tessaray_FW_1.0.3.bin\n    picked firmware, 8 bytes, SHA-256 c3bf47ea\n"
                     "    signature: key E4086F9FCA4F0324, trusted comment \"file:Tessaray_FW_1.0.3.bin\"\n"
                     "~/lumaro/Firmware/Tessaray_IMG_1.0.3.bin\n    image data, 5 bytes, SHA-256 6105d6cc\n    signature: unsigned\n"
                     "~/lumaro/Firmware/Tessaray_FW_0.9.bin\n    firmware, 9 bytes, SHA-256 ab\n    signature: unsigned\n"
                     "~/lumaro/Firmware/notes.txt\n    other, cannot be read\n"
                     "~/lumaro/Firmware/disk.iso\n    other, 100000000 bytes, SHA-256 not computed (larger than 64 MB)\n");
}

TEST(SupportReport, NamesNoUserBeyondTheComputer)
{
    // Linux: the home folder, and the user's name where a mount point carries it.
    EXPECT_EQ(withoutUser("Program folder: /home/alice/lumaro/\n/media/alice/STICK\n/run/media/alice\n", "/home/alice/",
                          "alice"),
              "Program folder: ~/lumaro/\n/media/<user>/STICK\n/run/media/<user>\n");
    // Another user's folder that begins with the same letters is no match; neither is a word in a log line.
    EXPECT_EQ(withoutUser("/home/alicex/a /home/alice alice's log", "/home/alice", "alice"),
              "/home/alicex/a ~ alice's log");
    // Windows: either separator, any case; the folder name also where the profile lies elsewhere.
    EXPECT_EQ(withoutUser("C:\\Users\\ALICE\\Desktop\\fw.bin and C:/Users/Alice and D:\\Profiles\\alice\\x",
                          "C:/Users/Alice", "Alice"),
              "~\\Desktop\\fw.bin and ~ and D:\\Profiles\\<user>\\x");
    // A home folder that is a root would swallow every path: it is left alone.
    EXPECT_EQ(withoutUser("/usr/lib/x", "/", ""), "/usr/lib/x");
    EXPECT_EQ(withoutUser("C:/Program Files", "C:/", ""), "C:/Program Files");

    SupportFacts facts = someFacts();
    facts.updateLog = "Copy /home/alice/lumaro/Firmware/Tessaray_FW_1.0.3.bin";
    facts.history = "started,firmware\n2026-12-09,/home/alice/fw.bin\n";
    const std::string report = supportReportText(facts);
    EXPECT_EQ(report.find("/home/alice"), std::string::npos) << report;
    EXPECT_EQ(report.find("/alice"), std::string::npos) << report;
}

TEST(SupportReport, HistoryShowsItsHeaderAndTheLastTwentyRows)
{
    std::string csv = "\xEF\xBB\xBFstarted,ended,result\r\n";
    for (int row = 1; row <= 25; ++row) csv += "row " + std::to_string(row) + ",b,done\r\n";
    const HistoryTail tail = historyTail(csv, 20);
    EXPECT_EQ(tail.header, "started,ended,result");
    ASSERT_EQ(tail.rows.size(), 20u);
    EXPECT_EQ(tail.rows.front(), "row 6,b,done");
    EXPECT_EQ(tail.rows.back(), "row 25,b,done");

    // A quoted error text with a line break stays one row; blank lines are no rows; a short file gives all.
    const HistoryTail quoted = historyTail("a,b\n\nx,\"first\nsecond\"\ny,z", 20);
    EXPECT_EQ(quoted.rows, (std::vector<std::string>{"x,\"first\nsecond\"", "y,z"}));

    SupportFacts facts = someFacts();
    EXPECT_NE(supportReportText(facts).find("[Update history]\nnone\n"), std::string::npos);
    facts.history = "\xEF\xBB\xBFstarted,ended,result\r\n";
    EXPECT_NE(supportReportText(facts).find("[Update history]\n(no rows)\n"), std::string::npos);
    facts.history = csv;
    const std::string history = section(supportReportText(facts), "[Update history]");
    EXPECT_EQ(history.find("row 5,"), std::string::npos);
    EXPECT_NE(history.find("[Update history]\nstarted,ended,result\nrow 6,b,done\n"), std::string::npos);
    EXPECT_NE(history.find("row 25,b,done\n"), std::string::npos);
    facts.historyUnreadable = "Permission denied";
    EXPECT_NE(supportReportText(facts).find("[Update history]\nThe history cannot be read: Permission denied\n"),
              std::string::npos);
}

}  // namespace
