#include "environment.h"

#include <cstdlib>

namespace bustest {

void setEnvironment(const char* name, const std::string& value) { _putenv_s(name, value.c_str()); }

// An empty value removes the variable on Windows.
void clearEnvironment(const char* name) { _putenv_s(name, ""); }

std::string useUserDataFolderIn(const std::string& /*within*/) {
    const char* local = std::getenv("LOCALAPPDATA");
    return local ? local : "";
}

}  // namespace bustest
