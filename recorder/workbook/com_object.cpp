#include "recorder/workbook/com_object.h"

#include "platform/com/com_automation_win.h"

#include <type_traits>
#include <vector>

namespace automation {
namespace {

ErrorCode codeOf(const platform::com::Error& error)
{
    switch (error.hresult()) {
    case 0x80020006:  // unknown name: the lookup's way of saying the member is missing
        return ErrorCode::MemberNotFound;
    case 0x800706BA:  // the server is unavailable: its program has quit or crashed
    case 0x800401FD:  // the object is no longer connected to its server
        return ErrorCode::Disconnected;
    default:
        return static_cast<ErrorCode>(error.hresult());  // the codes already carry COM's numbers
    }
}

platform::com::CallKind comKindOf(CallKind kind)
{
    switch (kind) {
    case CallKind::PropertyGet: return platform::com::CallKind::PropertyGet;
    case CallKind::PropertyPut: return platform::com::CallKind::PropertyPut;
    case CallKind::Method: break;
    }
    return platform::com::CallKind::Method;
}

// The same value on the other side; objects are mapped by mapObject, everything else is copied.
template <typename To, typename From, typename MapObject>
To convertValue(const From& value, MapObject mapObject)
{
    return std::visit(
        [&](const auto& held) -> To {
            if constexpr (std::is_invocable_v<MapObject, decltype(held)>)
                return To{mapObject(held)};
            else
                return To{held};
        },
        value);
}

class ComObject final : public Object {
public:
    explicit ComObject(platform::com::ObjectRef target) : target_(std::move(target)) {}

    Value invoke(std::string_view member, CallKind kind, std::span<const Value> args) override
    {
        std::vector<platform::com::Value> comArgs;
        comArgs.reserve(args.size());
        for (const Value& arg : args) comArgs.push_back(convertValue<platform::com::Value>(arg, &targetOf));
        try {
            return convertValue<Value>(target_->invoke(member, comKindOf(kind), comArgs), &wrap);
        } catch (const platform::com::Error& error) {
            throw AutomationError(codeOf(error), error.what());
        }
    }

    static ObjectRef wrap(const platform::com::ObjectRef& target)
    {
        return target == nullptr ? nullptr : std::make_shared<ComObject>(target);
    }

private:
    // Only objects of COM servers can be handed to one.
    static platform::com::ObjectRef targetOf(const ObjectRef& object)
    {
        if (object == nullptr) return nullptr;
        const auto* comObject = dynamic_cast<const ComObject*>(object.get());
        if (comObject == nullptr)
            throw AutomationError(ErrorCode::TypeMismatch,
                                  "Type mismatch: only objects of COM servers can be passed to a COM object");
        return comObject->target_;
    }

    platform::com::ObjectRef target_;
};

}  // namespace

ObjectRef createComObject(std::string_view progId)
{
    try {
        return ComObject::wrap(platform::com::createObject(progId));
    } catch (const platform::com::Error& error) {
        throw AutomationError(codeOf(error), error.what());
    }
}

}  // namespace automation
