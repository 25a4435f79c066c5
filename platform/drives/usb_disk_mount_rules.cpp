#include "platform/drives/usb_disk_mount_rules.h"

#include <algorithm>

namespace platform {

bool isVolumeToMount(const BlockVolume& volume, const std::string& port,
                     const std::function<bool(const std::string& identity)>& wanted) {
    return !port.empty() && volume.port == port && volume.onRemovableDisk && volume.fat && !volume.leftAlone &&
           !volume.noMedium && !volume.mounted && wanted(volume.identity);
}

bool MountTries::isDue(const std::string& volume, Clock::time_point now) const {
    const auto last = tries_.find(volume);
    if (last == tries_.end()) return true;
    const Try& tried = last->second;
    return !tried.running && !tried.stopped && now - tried.ended >= std::max<Clock::duration>(kLeastPause, tried.ended - tried.began);
}

void MountTries::began(const std::string& volume, Clock::time_point now) { tries_[volume] = {now, now, true, false, {}}; }

void MountTries::ended(const std::string& volume, Clock::time_point now, std::string problem) {
    const auto tried = tries_.find(volume);
    if (tried == tries_.end()) return;
    tried->second.ended = now;
    tried->second.running = false;
    tried->second.problem = std::move(problem);
}

void MountTries::stopping(const std::string& volume) { tries_[volume] = {{}, {}, false, true, {}}; }

std::string MountTries::problem(const std::string& volume) const {
    const auto last = tries_.find(volume);
    return last == tries_.end() || last->second.running || last->second.stopped ? std::string() : last->second.problem;
}

void MountTries::keepOnly(const std::set<std::string>& presentVolumes) {
    std::erase_if(tries_, [&](const auto& tried) { return !tried.second.running && !presentVolumes.contains(tried.first); });
}

}  // namespace platform
