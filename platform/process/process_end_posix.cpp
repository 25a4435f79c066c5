#include "platform/process/process_end.h"

#include <cstdlib>

namespace platform {

void endProcess(int exitCode) { std::exit(exitCode); }

}  // namespace platform
