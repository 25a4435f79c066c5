// Late-bound automation: objects whose members are reached by name at run time, the way a
// spreadsheet program is driven from outside. The workbook writer speaks only through this
// interface, so the server behind it (the stand-in here, a registered program through COM on
// Windows) can change without the writer knowing.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>

namespace automation {

class Object;
using ObjectRef = std::shared_ptr<Object>;

// An automation value: empty, a 32-bit integer, a boolean, a text (UTF-8; a COM server turns it
// into a wide string) or a reference to an object.
using Value = std::variant<std::monostate, std::int32_t, bool, std::string, ObjectRef>;

enum class CallKind { PropertyGet, PropertyPut, Method };

// Failure codes, with the values COM gives the same failures.
enum class ErrorCode : std::uint32_t {
    ClassNotRegistered = 0x800401F3,  // invalid class string
    ClassNotMade = 0x80040154,        // the name is registered, the class behind it is not
    ServerNotStarted = 0x80080005,    // the class's program did not start
    MemberNotFound = 0x80020003,
    TypeMismatch = 0x80020005,
    BadParamCount = 0x8002000E,
    BadIndex = 0x8002000B,
    NoObject = 0x80004003,            // a call on a value that holds no object
    Disconnected = 0x80010108,        // the object's program has quit
    ServerRefused = 0x80020009,       // the server's own failure, with its description
};

// What every failing automation call throws; what() is the text the user is shown.
class AutomationError : public std::runtime_error {
public:
    AutomationError(ErrorCode code, const std::string& description) : std::runtime_error(description), code_(code) {}
    ErrorCode code() const { return code_; }

private:
    ErrorCode code_;
};

class Object {
public:
    virtual ~Object() = default;
    // Looks the member up by name and invokes it. Throws AutomationError when the member is unknown
    // or the object refuses the call; a property write or a method with no result gives an empty value.
    virtual Value invoke(std::string_view member, CallKind kind, std::span<const Value> args) = 0;
};

// Invokes member on the object held by target; throws AutomationError (NoObject) when target holds
// no object.
Value call(const Value& target, std::string_view member, CallKind kind, std::span<const Value> args = {});

// Creates the application object registered under progId. Throws AutomationError (ClassNotRegistered)
// with the text "Invalid class string, ProgID: \"<progId>\"" when nothing is registered under it.
ObjectRef createObject(std::string_view progId);

// The classes this process can create. By default "Excel.Application" is the built-in stand-in
// workbook server. Registering replaces what a progId creates; an empty factory removes it.
using ClassFactory = std::function<ObjectRef()>;
void registerClass(const std::string& progId, ClassFactory factory);

}  // namespace automation
