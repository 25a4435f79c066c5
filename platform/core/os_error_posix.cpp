// POSIX: codes without a text of their own are shown by number.
#include "platform/core/os_error.h"

namespace platform {

std::string systemMessage(OsError error) { return "system error " + std::to_string(error); }

}  // namespace platform
