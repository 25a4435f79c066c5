// Set while a device job runs: holds off detection and the button's hover look, and clearing it
// is the running update job's stop signal. Written and read by the UI thread and the job threads.
#pragma once

#include <atomic>

inline std::atomic<bool> jobBusy{false};
