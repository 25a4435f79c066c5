// The files a support report lists (the firmware folder's and the picked ones), each with its size
// and SHA-256. Hashing reads them whole, so it runs off the window's thread and within limits: a
// large Firmware/ folder costs at most a bounded read, and never a frozen window.
#pragma once

#include "app/report/support_report.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

struct ReportHashLimits {
    std::size_t files = 32;                        // hashed at most, the picked ones first
    std::uint64_t bytes = 256ull * 1024 * 1024;    // read at most, in all
    std::uint64_t fileBytes = 64ull * 1024 * 1024; // a larger file is a stray one: not read
};

// paths in the order the report lists them; the picked ones are hashed before the others. stop
// (set when the window closes, its report dropped) ends the hashing early. Each hashed file's
// signature is checked against the trusted keys of keysFolder, as an update would check it.
std::vector<ReportFile> describeReportFiles(const std::vector<QString>& paths, const std::vector<QString>& picked,
                                            const ReportHashLimits& limits, const std::atomic<bool>& stop,
                                            const std::string& keysFolder);
