#include "file_size_limit.h"

#include <csignal>
#include <sys/resource.h>

namespace bustest {

namespace {

rlimit before{RLIM_INFINITY, RLIM_INFINITY};

}  // namespace

// A write past the limit is cut short, and one at the limit fails; the signal that would end the
// process is ignored meanwhile, as the write's failure is what is being tried.
bool limitFileSize(std::uint64_t bytes)
{
    if (::getrlimit(RLIMIT_FSIZE, &before) != 0) return false;
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{static_cast<rlim_t>(bytes), before.rlim_max};
    return ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

void liftFileSizeLimit()
{
    ::setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, SIG_DFL);
}

}  // namespace bustest
