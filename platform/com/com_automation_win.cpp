#include "platform/com/com_automation_win.h"

#include "platform/com/com_apartment_win.h"
#include "platform/com/com_dispatch_win.h"
#include "platform/com/com_error_win.h"
#include "platform/com/com_variant_win.h"

#include <objbase.h>

namespace platform::com {

ObjectRef createObject(std::string_view progId)
{
    const ApartmentMembership apartment;  // until the object holds its own
    const std::wstring wideProgId = wideText(progId);
    CLSID classId{};
    HRESULT result = CLSIDFromProgID(wideProgId.c_str(), &classId);
    IDispatch* dispatch = nullptr;
    if (SUCCEEDED(result))
        result = CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IDispatch,
                                  reinterpret_cast<void**>(&dispatch));
    if (FAILED(result)) fail(result, ", ProgID: \"" + std::string(progId) + "\"");
    return std::make_shared<DispatchObject>(dispatch);
}

}  // namespace platform::com
