// The program identifiers this process can create objects for. The stand-in workbook server is
// registered as the spreadsheet program, so the recorder works where no spreadsheet program is.
#include "automation.h"
#include "xlsx_workbook_server.h"

#include <map>
#include <mutex>

namespace automation {
namespace {

struct Registry {
    std::mutex mutex;
    std::map<std::string, ClassFactory, std::less<>> classes{{"Excel.Application", &createXlsxWorkbookServer}};
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
