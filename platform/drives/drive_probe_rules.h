// Windows: which drive letters may be asked whether they are a USB disk. Asking means opening the
// letter's volume device (\\.\F:), and an open of a network letter waits for its server (the
// reconnect time-out of a mapped drive that is offline), an open of a floppy drive spins it; so the
// letter is judged first by what the system knows without touching the volume: the drive type of its
// root and the target of its DOS device in this session. Plain functions of those answers, testable
// anywhere; asking the system is in drive_types_win.cpp.
#pragma once

#include <string_view>

namespace platform {

// A root's drive type, numbered as GetDriveTypeW numbers it.
enum class DriveType : unsigned {
    Unknown = 0,
    NoRootDir = 1,
    Removable = 2,
    Fixed = 3,
    Remote = 4,
    CdRom = 5,
    RamDisk = 6,
};

// Whether the letter's volume device may be opened to ask its bus: a removable or fixed drive whose
// DOS device (QueryDosDeviceW) is a volume of a disk ("\Device\HarddiskVolume7",
// "\Device\Harddisk1\DP(1)0-0+9"). Never a network, CD or RAM drive, a floppy drive (removable,
// "\Device\Floppy0"), a subst letter over a folder ("\??\C:\Work"), or a letter whose device is not
// known.
bool mayAskBusOf(DriveType type, std::string_view dosDevice);

}  // namespace platform
