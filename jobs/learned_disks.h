// What this PC's user has learned of each controller model's update disk: the kind of USB device
// (its identity's model part, "USB\VID_1FC9&PID_0114") that a model's bootloader shows, learned from
// an update that was done on it. Kept in the user's own application data, where no other user can
// plant one: the shared history folder is no place for what decides where firmware is written.
#pragma once

#include "history_row.h"
#include "update_disk_rule.h"

#include <optional>
#include <string>

// The kind of update disk learned for the controller model with this vidPid; empty when none is.
std::string learnedUpdateDiskModel(const std::string& vidPid);

// The update disk a stranded update's record expects: on its controller's port, the disk it saw or
// one of the kind learned for its model, or confirmed, a drive a person named.
DiskExpectation strandedDiskExpectation(const HistoryEntry& entry, std::optional<DriveFacts> confirmed = std::nullopt);

// Learns the kind of the disk with this identity for the model; nothing when the identity is empty
// or the user's data folder takes no file (it is asked again then: nothing is lost).
void learnUpdateDiskModel(const std::string& vidPid, const std::string& diskIdentity);
