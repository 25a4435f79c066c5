#include "recorder/workbook/automation.h"

namespace automation {

Value call(const Value& target, std::string_view member, CallKind kind, std::span<const Value> args)
{
    const ObjectRef* object = std::get_if<ObjectRef>(&target);
    if (object == nullptr || *object == nullptr)
        throw AutomationError(ErrorCode::NoObject,
                              "No spreadsheet instance to call \"" + std::string(member) + "\" on");
    return (*object)->invoke(member, kind, args);
}

}  // namespace automation
