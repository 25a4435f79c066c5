#include "platform/com/com_dispatch_win.h"

#include "platform/com/com_error_win.h"
#include "platform/com/com_variant_win.h"

#include <windows.h>

#include <vector>

namespace platform::com {
namespace {

[[noreturn]] void failCalling(HRESULT result, std::string_view member)
{
    fail(result, ": \"" + std::string(member) + "\"");
}

// Cleared afterwards, whatever the server has left in them.
struct ArgumentList {
    explicit ArgumentList(std::size_t count) : variants(count) {}  // all empty
    ~ArgumentList()
    {
        for (VARIANT& variant : variants) VariantClear(&variant);
    }
    ArgumentList(const ArgumentList&) = delete;
    ArgumentList& operator=(const ArgumentList&) = delete;

    std::vector<VARIANT> variants;
};

WORD flagsOf(CallKind kind)
{
    switch (kind) {
    case CallKind::PropertyGet: return DISPATCH_PROPERTYGET;
    case CallKind::PropertyPut: return DISPATCH_PROPERTYPUT;
    case CallKind::Method: break;
    }
    return DISPATCH_METHOD;
}

// The server's own description of the exception it raised; when it gave none, what its error code
// says. Frees the strings the server allocated.
std::string describeException(EXCEPINFO& exception)
{
    if (exception.pfnDeferredFillIn != nullptr) exception.pfnDeferredFillIn(&exception);
    std::string description;
    if (exception.bstrDescription != nullptr)
        description = utf8Text(exception.bstrDescription, SysStringLen(exception.bstrDescription));
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    while (!description.empty() && (description.back() == '\n' || description.back() == '\r'))
        description.pop_back();
    if (!description.empty()) return description;
    description = describeResult(static_cast<std::uint32_t>(DISP_E_EXCEPTION));
    if (FAILED(exception.scode)) description += " (" + describeResult(static_cast<std::uint32_t>(exception.scode)) + ")";
    return description;
}

}  // namespace

Value DispatchObject::invoke(std::string_view member, CallKind kind, std::span<const Value> args)
{
    std::wstring name = wideText(member);
    LPOLESTR names[] = {name.data()};
    DISPID id = DISPID_UNKNOWN;
    HRESULT result = dispatch_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(result)) failCalling(result, member);
    // A property write names its value; without one a server could read past the arguments.
    if (kind == CallKind::PropertyPut && args.empty()) failCalling(DISP_E_BADPARAMCOUNT, member);

    // COM takes the arguments last first.
    ArgumentList arguments(args.size());
    for (std::size_t i = 0; i < args.size(); ++i) toVariant(args[i], arguments.variants[args.size() - 1 - i]);

    DISPID namedPut = DISPID_PROPERTYPUT;
    DISPPARAMS parameters{};
    parameters.rgvarg = arguments.variants.data();
    parameters.cArgs = static_cast<UINT>(args.size());
    if (kind == CallKind::PropertyPut) {
        parameters.rgdispidNamedArgs = &namedPut;
        parameters.cNamedArgs = 1;
    }
    OwnedVariant answer;
    EXCEPINFO exception{};
    UINT badArgument = 0;
    result = dispatch_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flagsOf(kind), &parameters, answer.get(), &exception,
                               &badArgument);
    if (result == DISP_E_EXCEPTION)
        throw Error(static_cast<std::uint32_t>(result), describeException(exception));
    if (FAILED(result)) failCalling(result, member);
    return fromVariant(*answer);
}

}  // namespace platform::com
