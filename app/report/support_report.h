// The support report: one plain text that tells support what program, system, controllers, drives,
// files and recent updates a user has, without naming the user. Built from facts gathered elsewhere;
// nothing here reads the machine.
#pragma once

#include "datafiles/dev_info.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct ReportHidInterface {
    std::string hardwareId;
    std::string path;
};

struct ReportDrive {
    std::string drive;
    std::string type;
};

struct ReportFile {
    std::string path;                  // UTF-8, as shown
    std::optional<std::uint64_t> size;  // nothing when the file cannot be read
    std::string sha256;                // lowercase hex; empty when it was not computed
    std::string notHashedBecause;      // why there is no SHA-256 of a readable file
    std::string signature;             // of a hashed file: the key and trusted comment, "unsigned", or why refused
};

// Everything the report says, as gathered. Texts are UTF-8 unless noted.
struct SupportFacts {
    std::string createdAt;  // local time with its UTC offset
    std::string computerName;
    std::string programVersion;
    std::string programBuild;
    std::string programFolder;
    std::string qtVersion;
    std::string osName;
    std::string kernel;
    std::string cpuArchitecture;
    std::string buildArchitecture;
    std::vector<DeviceModel> models;  // as DevInfo.DAT was read: Latin-1 texts
    std::vector<ReportHidInterface> hidInterfaces;  // every interface present
    std::string hidListError;                       // why the listing failed; empty when it did not
    std::vector<ReportDrive> drives;
    std::string firmwareFolder;
    std::string pickedFirmware;  // the files the window would update with; empty when none
    std::string pickedImageData;
    std::vector<ReportFile> files;  // the picked ones and every file of the firmware folder
    std::optional<std::string> history;  // the history file's text; nothing when there is none
    std::string historyUnreadable;        // why a history file that is there could not be read
    std::string updateLog;
    std::string systemLog;
    // Replaced wherever they occur in the text, so that the report names no user: the home
    // folder (by "~") and the user's folder name as a path component (by "<user>").
    std::string homeFolder;
    std::string userFolderName;
};

// The history's records after its header row: at most the last count of them, each as it stands
// in the file (a quoted field may hold a line break). A byte-order mark is not part of the text.
struct HistoryTail {
    std::string header;
    std::vector<std::string> rows;
};
HistoryTail historyTail(std::string_view csv, std::size_t count);

// text with the home folder replaced by "~" (with either separator, in any case) and the user's
// folder name replaced by "<user>" where it stands as a whole path component (as in
// /media/<user>/STICK). A home folder that is a root ("/", "C:/") is not replaced.
std::string withoutUser(std::string text, std::string_view homeFolder, std::string_view userFolderName);

// The report: a title, then one section per subject under a heading in square brackets.
std::string supportReportText(const SupportFacts& facts);

inline constexpr std::size_t kReportHistoryRows = 20;
