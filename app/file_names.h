// What a file's name says about it: the firmware file and the image data file of Firmware/, and
// the recorder's workbooks.
#pragma once

#include <string>
#include <string_view>

struct FirmwareFileKind {
    enum Kind { Other, ImageData, Firmware } kind = Other;
    std::string version;  // for Firmware: up to five characters after "_FW_", upper-cased
};

// Names are compared upper-cased; "_IMG_" takes precedence over "_FW_".
FirmwareFileKind classifyFirmwareFile(std::string_view fileName);

// A workbook of the recorder: its extension is ".xls", in any case.
bool isLogFileName(std::string_view fileName);
