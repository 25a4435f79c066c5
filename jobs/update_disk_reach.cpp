#include "update_disk_reach.h"

#include "learned_disks.h"
#include "platform/drives/drives.h"

std::string reachUpdateDisk(const DiskExpectation& expected) {
    return platform::reachUsbDisks(expected.port,
                                   [&](const std::string& identity) { return mayBeUpdateDiskDevice(identity, expected); });
}

void reachStrandedUpdateDisks(const std::vector<UpdateHistory::Stranded>& stranded) {
    for (const UpdateHistory::Stranded& update : stranded)
        reachUpdateDisk(strandedDiskExpectation(update.entry));
}
