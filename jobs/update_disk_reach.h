// Making the controller's update disk a drive where the system does not mount USB disks by itself
// (Linux without a desktop's automounter): only a disk on the controller's port whose device the
// update disk rule (update_disk_rule.h) could take or ask about, never any other volume.
#pragma once

#include "update_disk_rule.h"
#include "update_history.h"

#include <string>
#include <vector>

// Mounts the disk expected where it is not yet a drive; a mount that failed is tried again at a later
// call. Returns why such a disk is still not a drive, for the log; empty when nothing failed.
std::string reachUpdateDisk(const DiskExpectation& expected);

// The same for the disk of each stranded update, as its finish would judge it.
void reachStrandedUpdateDisks(const std::vector<UpdateHistory::Stranded>& stranded);
