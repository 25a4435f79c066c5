// The program identifiers this process can create objects for. "Excel.Application" creates the
// system's spreadsheet program where there is one and the stand-in workbook server elsewhere, so the
// recorder works where no spreadsheet program is.
#include "recorder/workbook/automation.h"
#include "recorder/workbook/spreadsheet_application.h"

#include <map>
#include <mutex>

namespace automation {
namespace {

struct Registry {
    std::mutex mutex;
    std::map<std::string, ClassFactory, std::less<>> classes{{"Excel.Application", &createSpreadsheetApplication}};
};

Registry& registry()
{
    static Registry instance;
    return instance;
}

}  // namespace

ObjectRef createObject(std::string_view progId)
{
    ClassFactory factory;
    {
        Registry& known = registry();
        const std::lock_guard lock(known.mutex);
        if (const auto found = known.classes.find(progId); found != known.classes.end()) factory = found->second;
    }
    if (!factory)
        throw AutomationError(ErrorCode::ClassNotRegistered,
                              "Invalid class string, ProgID: \"" + std::string(progId) + "\"");
    return factory();
}

void registerClass(const std::string& progId, ClassFactory factory)
{
    Registry& known = registry();
    const std::lock_guard lock(known.mutex);
    if (factory)
        known.classes[progId] = std::move(factory);
    else
        known.classes.erase(progId);
}

}  // namespace automation
