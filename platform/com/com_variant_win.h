// Windows: conversions between the automation values and COM's VARIANTs and wide strings.
#pragma once

#include "platform/com/com_automation_win.h"

#include <oaidl.h>

#include <string>
#include <string_view>

namespace platform::com {

// A VARIANT this code owns: cleared (strings freed, objects released) when it goes.
class OwnedVariant {
public:
    OwnedVariant() { VariantInit(&variant_); }
    ~OwnedVariant() { VariantClear(&variant_); }
    OwnedVariant(const OwnedVariant&) = delete;
    OwnedVariant& operator=(const OwnedVariant&) = delete;

    VARIANT* get() { return &variant_; }
    const VARIANT& operator*() const { return variant_; }

private:
    VARIANT variant_;
};

std::wstring wideText(std::string_view utf8);
std::string utf8Text(const wchar_t* wide, std::size_t length);

// Fills variant, which must be empty. Throws Error (type mismatch) for an object that is not a COM
// object of this module.
void toVariant(const Value& value, VARIANT& variant);

// Integers that fit in 32 bits stay integers, other kinds COM can turn into text become text.
// Throws Error (type mismatch) for a kind that has no such form.
Value fromVariant(const VARIANT& variant);

}  // namespace platform::com
