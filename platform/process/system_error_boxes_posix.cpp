#include "platform/process/system_error_boxes.h"

namespace platform {

void failInsteadOfSystemErrorBoxes() {}

}  // namespace platform
