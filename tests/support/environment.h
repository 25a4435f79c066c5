// This process's environment, which the bus clients read (LUMARO_VBUS_DIR, LUMARO_VBUS_ARCH).
#pragma once

#include <string>

namespace bustest {

void setEnvironment(const char* name, const std::string& value);
void clearEnvironment(const char* name);

// The folder where this process's programs keep the user's own data (the generic data location):
// on Linux a fresh one under within, named by XDG_DATA_HOME from now on, so that each test starts
// from what it sets up; on Windows the user's local application data, which Wine keeps per prefix.
std::string useUserDataFolderIn(const std::string& within);

}  // namespace bustest
