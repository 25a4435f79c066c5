// Windows: automation objects of the classes registered with COM, reached through the platform's
// late binding. COM's failures become AutomationErrors with the same numbers and texts.
#pragma once

#include "recorder/workbook/automation.h"

namespace automation {

// Creates the COM object registered under progId. Throws AutomationError (ClassNotRegistered) with
// the text "Invalid class string, ProgID: \"<progId>\"" when COM knows no class by that name.
ObjectRef createComObject(std::string_view progId);

}  // namespace automation
