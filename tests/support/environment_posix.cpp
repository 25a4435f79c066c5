#include "environment.h"

#include <cstdlib>

namespace bustest {

void setEnvironment(const char* name, const std::string& value) { ::setenv(name, value.c_str(), 1); }

void clearEnvironment(const char* name) { ::unsetenv(name); }

}  // namespace bustest
