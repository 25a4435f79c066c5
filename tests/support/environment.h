// This process's environment, which the bus clients read (LUMARO_VBUS_DIR, LUMARO_VBUS_ARCH).
#pragma once

#include <string>

namespace bustest {

void setEnvironment(const char* name, const std::string& value);
void clearEnvironment(const char* name);

}  // namespace bustest
