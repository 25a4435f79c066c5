// What a file's name says about it: the firmware file and the image data file of Firmware/, and
// the recorder's workbooks.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct FirmwareFileKind {
    enum Kind { Other, ImageData, Firmware } kind = Other;
    std::string version;  // for Firmware: up to five characters after "_FW_", upper-cased
};

// Names are compared upper-cased; "_IMG_" takes precedence over "_FW_". A signature (".minisig")
// is neither.
FirmwareFileKind classifyFirmwareFile(std::string_view fileName);

struct FirmwareFolderPick {
    std::string firmware;   // file name, empty when none
    std::string version;    // of that firmware file
    std::string imageData;  // file name, empty when none
};

// The files of Firmware/, as the window picks them from the folder's listing: of each kind, the
// last one listed.
FirmwareFolderPick pickFirmwareFiles(const std::vector<std::string>& fileNames);

// A workbook of the recorder: its extension is ".xls", in any case.
bool isLogFileName(std::string_view fileName);
