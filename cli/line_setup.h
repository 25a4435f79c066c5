// What a run of lumaro-update needs before the first controller: the table of known models and
// the two files, found and checked as the window finds them. Any problem here is the user's to
// fix before a controller is touched.
#pragma once

#include "datafiles/dev_info.h"
#include "options.h"

#include <QString>

#include <string>
#include <variant>
#include <vector>

struct LineSetup {
    std::vector<DeviceModel> models;
    std::string firmwarePath;
    std::string imagePath;
};

// DevInfo.DAT is read from the current folder, as the window reads it, or else from appFolder;
// the files not named in options come from appFolder's Firmware/. A problem comes back as the
// text of its error line, saying what to do.
std::variant<LineSetup, std::string> loadLineSetup(const CommandOptions& options, const QString& appFolder);

