// Windows: how a volume of the volume manager gets its name in the drive list, and how a drive's name
// leads back to the volume and its files. The mount manager hands out drive letters for the whole
// machine, but a user's mapped network drive (or a subst letter) takes the letter's place in that
// user's session: the volume then has no letter there, and is named by its volume GUID path. The
// decisions are plain functions of what the system reports, testable anywhere; asking the system is
// in volumes_win.cpp.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

// "F:": a drive named by its letter, as the drive list names one.
bool isLetterDriveName(std::string_view drive);

// "\\?\Volume{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}\", the form FindFirstVolumeW gives (hexadecimal
// digits of either case), with its trailing backslash.
bool isVolumeGuidPath(std::string_view drive);

// The drive letters among a volume's path names (GetVolumePathNamesForVolumeNameW: "F:\",
// "C:\Mounts\Stick\"), upper case, in the order given; mounted folders are not letters.
std::vector<char> driveLettersAmong(const std::vector<std::string>& pathNames);

// Whether the target of a DOS device (QueryDosDeviceW) is a network redirector's, as a mapped
// network drive's is: "\Device\LanmanRedirector\;F:0000000000012345\server\share",
// "\Device\Mup\;WebDavRedirector\...", a remote desktop's "\Device\RdpDr\;F:1\tsclient\F". Such a
// letter is never a volume's, whatever the mount manager assigned it.
bool isNetworkRedirectorTarget(std::string_view target);

// A letter the mount manager gave a volume, with the target of that letter's DOS device in this
// session (empty when the letter names nothing here).
struct LetterInSession {
    char letter = 0;
    std::string dosDevice;
};

// The name of a volume in the drive list: the first of its letters C to Z (the letters the drive
// list looks at) whose DOS device in this session is the volume's own device (volumeDevice, the
// target of "Volume{GUID}"; case does not matter), else its volume GUID path.
std::string driveNameOfVolume(const std::string& volumeGuidPath, std::string_view volumeDevice,
                              const std::vector<LetterInSession>& letters);

// The root of a drive for the volume functions (GetVolumeInformationW, GetDriveTypeW): "F:\", or
// the volume GUID path itself. Empty for a name that is neither.
std::string driveRoot(std::string_view drive);

// The volume device to open for device requests, without the trailing backslash the volume
// functions need: "\\.\F:", or "\\?\Volume{...}". Empty for a name that is neither.
std::string volumeDeviceToOpen(std::string_view drive);

// The name of a volume's DOS device, as QueryDosDeviceW takes it: "F:", or "Volume{...}". Empty for
// a name that is neither.
std::string dosDeviceName(std::string_view drive);

// The path of fileName in the root of drive: "F:\Upfirmware.bin"; on a volume named by its GUID
// path "\\.\Volume{...}\Upfirmware.bin". The two device path prefixes name the same file and differ
// only in whether the path is normalized; the C runtime the program is built with (msvcrt) refuses
// every path holding a "?" in its file status calls, which std::filesystem uses.
std::string fileOnDrive(std::string_view drive, std::string_view fileName);

}  // namespace platform
