// Windows: a write to a pipe without a reader fails (ERROR_NO_DATA) and ends nothing.
#include "platform/console/broken_pipe.h"

namespace platform {

void ignoreBrokenPipe() {}

}  // namespace platform
