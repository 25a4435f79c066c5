#include "platform/com/com_variant_win.h"

#include "platform/com/com_dispatch_win.h"
#include "platform/com/com_error_win.h"

#include <windows.h>

#include <limits>

namespace platform::com {
namespace {

int checkedLength(std::size_t length)
{
    if (length > static_cast<std::size_t>(std::numeric_limits<int>::max())) fail(E_INVALIDARG, ": text too long");
    return static_cast<int>(length);
}

bool isInteger(VARTYPE type)
{
    switch (type) {
    case VT_I1: case VT_UI1: case VT_I2: case VT_UI2: case VT_I4: case VT_UI4:
    case VT_INT: case VT_UINT: case VT_I8: case VT_UI8:
        return true;
    default:
        return false;
    }
}

}  // namespace

std::wstring wideText(std::string_view utf8)
{
    const int length = checkedLength(utf8.size());
    if (length == 0) return {};
    std::wstring wide(static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, nullptr, 0)), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, wide.data(), static_cast<int>(wide.size()));
    return wide;
}

std::string utf8Text(const wchar_t* wide, std::size_t length)
{
    const int wideLength = checkedLength(length);
    if (wideLength == 0) return {};
    std::string text(
        static_cast<std::size_t>(WideCharToMultiByte(CP_UTF8, 0, wide, wideLength, nullptr, 0, nullptr, nullptr)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, wideLength, text.data(), static_cast<int>(text.size()), nullptr, nullptr);
    return text;
}

void toVariant(const Value& value, VARIANT& out)
{
    VARIANT* variant = &out;
    if (const auto* number = std::get_if<std::int32_t>(&value)) {
        V_VT(variant) = VT_I4;
        V_I4(variant) = *number;
    } else if (const auto* flag = std::get_if<bool>(&value)) {
        V_VT(variant) = VT_BOOL;
        V_BOOL(variant) = *flag ? VARIANT_TRUE : VARIANT_FALSE;
    } else if (const auto* text = std::get_if<std::string>(&value)) {
        // Counted, so a text holding a zero character arrives whole.
        const std::wstring wide = wideText(*text);
        BSTR string = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
        if (string == nullptr) fail(E_OUTOFMEMORY, ": text argument");
        V_VT(variant) = VT_BSTR;
        V_BSTR(variant) = string;
    } else if (const auto* object = std::get_if<ObjectRef>(&value)) {
        IDispatch* dispatch = nullptr;
        if (*object != nullptr) {
            const auto* comObject = dynamic_cast<const DispatchObject*>(object->get());
            if (comObject == nullptr) fail(DISP_E_TYPEMISMATCH, ": the object argument is not a COM object");
            dispatch = comObject->dispatch();
            dispatch->AddRef();
        }
        V_VT(variant) = VT_DISPATCH;
        V_DISPATCH(variant) = dispatch;
    }
}

Value fromVariant(const VARIANT& variant)
{
    const VARTYPE type = V_VT(&variant);
    if (type == VT_EMPTY || type == VT_NULL) return Value{};
    if (type == VT_BOOL) return Value{V_BOOL(&variant) != VARIANT_FALSE};
    if (type == VT_BSTR) return Value{utf8Text(V_BSTR(&variant), SysStringLen(V_BSTR(&variant)))};
    if (type == VT_DISPATCH || type == VT_UNKNOWN) {
        // A null reference is the automation "Nothing".
        if (V_UNKNOWN(&variant) == nullptr) return Value{};
        IDispatch* dispatch = nullptr;
        if (FAILED(V_UNKNOWN(&variant)->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch))))
            fail(DISP_E_TYPEMISMATCH, ": a result object without an automation interface");
        return Value{ObjectRef{std::make_shared<DispatchObject>(dispatch)}};
    }
    OwnedVariant converted;
    auto* source = const_cast<VARIANT*>(&variant);  // only read: the declarations predate const
    if (isInteger(type) && SUCCEEDED(VariantChangeType(converted.get(), source, 0, VT_I4)))
        return Value{std::int32_t{V_I4(converted.get())}};
    // Numbers that are not 32-bit integers, dates, currency: their text, the same on every PC.
    if (SUCCEEDED(VariantChangeTypeEx(converted.get(), source, LOCALE_INVARIANT, 0, VT_BSTR)))
        return fromVariant(*converted);
    fail(DISP_E_TYPEMISMATCH, ": a result of VARIANT type " + std::to_string(type));
}

}  // namespace platform::com
