// Windows: late-bound COM automation. Objects are created by program identifier and their members
// reached by name through IDispatch, with the values this interface knows converted to and from
// VARIANTs. No Windows header is needed to use it.
//
// An object belongs to the thread that created it: COM is joined on that thread (single-threaded
// apartment) for as long as any object created there lives.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>

namespace platform::com {

class Object;
using ObjectRef = std::shared_ptr<Object>;

// Empty, a 32-bit integer, a boolean, a UTF-8 text (a wide string on the COM side) or an object.
// Results of other kinds arrive as text when COM can convert them, integers that fit as integers.
using Value = std::variant<std::monostate, std::int32_t, bool, std::string, ObjectRef>;

enum class CallKind { PropertyGet, PropertyPut, Method };

// A failed COM step: the HRESULT and the text the user is shown.
class Error : public std::runtime_error {
public:
    Error(std::uint32_t hresult, const std::string& text) : std::runtime_error(text), hresult_(hresult) {}
    std::uint32_t hresult() const { return hresult_; }

private:
    std::uint32_t hresult_;
};

class Object {
public:
    virtual ~Object() = default;
    // Looks member up by name and invokes it with args in their natural order. Throws Error; for an
    // exception the server raised, its text is the server's own description.
    virtual Value invoke(std::string_view member, CallKind kind, std::span<const Value> args) = 0;
};

// Creates the object registered under progId and asks for its automation interface. Throws Error;
// when progId names no class, the HRESULT is that of the class lookup and the text ends in
// ", ProgID: \"<progId>\"".
ObjectRef createObject(std::string_view progId);

}  // namespace platform::com
