#include "environment.h"

#include <cstdlib>

namespace bustest {

void setEnvironment(const char* name, const std::string& value) { ::setenv(name, value.c_str(), 1); }

void clearEnvironment(const char* name) { ::unsetenv(name); }

std::string useUserDataFolderIn(const std::string& within) {
    const std::string folder = within + "/user-data";
    setEnvironment("XDG_DATA_HOME", folder);
    return folder;
}

}  // namespace bustest
