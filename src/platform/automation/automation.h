#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "platform/base/hvError.h"

/// The late-bound object model of the component object library: objects are reached by a
/// programmatic identifier and driven by member name with positional arguments. On Windows an
/// identifier registered with COM gives a wrapped IDispatch (automation_win32.cpp); any other
/// identifier, and every one on POSIX, is looked up among the in-process classes registered
/// here.

class IAutomationObject;
using AutomationObjectPtr = std::shared_ptr<IAutomationObject>;

/// HRESULT-like codes the layer and its servers use.
namespace AutomationCode {
inline constexpr int32_t Fail = static_cast<int32_t>(0x80004005);                // E_FAIL
inline constexpr int32_t InvalidArg = static_cast<int32_t>(0x80070057);          // E_INVALIDARG
inline constexpr int32_t MemberNotFound = static_cast<int32_t>(0x80020003);      // DISP_E_...
inline constexpr int32_t TypeMismatch = static_cast<int32_t>(0x80020005);        // DISP_E_...
inline constexpr int32_t BadParamCount = static_cast<int32_t>(0x8002000E);       // DISP_E_...
inline constexpr int32_t InvalidClassString = static_cast<int32_t>(0x800401F3);  // CO_E_...
}  // namespace AutomationCode

/// An automation failure: the code and the server's own description, which is the message.
class EAutomationError : public EhvError {
  public:
    EAutomationError(int32_t code, const std::string& description)
        : EhvError(description), code_(code) {}

    int32_t Code() const { return code_; }

  private:
    int32_t code_;
};

/// A value passed to or returned by a late-bound call. Strings are UTF-8.
class Variant {
  public:
    using Value =
        std::variant<std::monostate, bool, int32_t, double, std::string, AutomationObjectPtr>;

    Variant() = default;
    Variant(bool value) : value_(value) {}
    Variant(int32_t value) : value_(value) {}
    Variant(double value) : value_(value) {}
    Variant(std::string value) : value_(std::move(value)) {}
    Variant(const char* value) : value_(std::string(value)) {}
    Variant(AutomationObjectPtr value) : value_(std::move(value)) {}

    const Value& Get() const { return value_; }

    bool IsEmpty() const { return std::holds_alternative<std::monostate>(value_); }
    bool IsBool() const { return std::holds_alternative<bool>(value_); }
    bool IsInt32() const { return std::holds_alternative<int32_t>(value_); }
    bool IsDouble() const { return std::holds_alternative<double>(value_); }
    bool IsString() const { return std::holds_alternative<std::string>(value_); }
    bool IsObject() const { return std::holds_alternative<AutomationObjectPtr>(value_); }

    /// The value as the named type, with the coercions a caller of an automation server may
    /// rely on: a whole double reads as an integer, a number reads as a boolean (non-zero is
    /// true, as VARIANT_BOOL and msoTriState both are). Empty when the value does not convert.
    std::optional<bool> ToBool() const;
    std::optional<int32_t> ToInt32() const;
    std::optional<double> ToDouble() const;

    /// The string held; empty optional for any other kind (numbers are not file names).
    std::optional<std::string> ToString() const;

    /// The object held, or null.
    AutomationObjectPtr ToObject() const;

    /// "empty", "boolean", "integer", "double", "string" or "object", for messages.
    std::string_view KindName() const;

  private:
    Value value_;
};

enum class ThvInvokeKind { Method, PropertyGet, PropertyPut };

/// An object driven by late-bound calls. Member names compare ignoring case. A read without
/// arguments may arrive as a Method call and must then be answered as a read. A PropertyPut
/// carries the new value as its last argument. Failures throw EAutomationError.
///
/// Objects are not thread-safe: each is used by the one thread that created it.
class IAutomationObject {
  public:
    virtual ~IAutomationObject() = default;
    virtual Variant Invoke(std::string_view member, ThvInvokeKind kind,
                           std::span<const Variant> args) = 0;
};

/// Convenience wrappers around Invoke for callers.
Variant AutomationGet(IAutomationObject& object, std::string_view member);
void AutomationPut(IAutomationObject& object, std::string_view member, const Variant& value);
Variant AutomationCall(IAutomationObject& object, std::string_view member,
                       std::initializer_list<Variant> args = {});

/// Member names as servers compare them: ASCII letters ignoring case (member names are ASCII).
bool SameMemberName(std::string_view a, std::string_view b);

/// True when the call is a read: a PropertyGet, or a Method call without arguments.
bool IsPropertyRead(ThvInvokeKind kind, std::span<const Variant> args);

/// Argument checks for servers, each throwing EAutomationError with a message that names the
/// member and the argument.
void CheckArgCount(std::string_view member, std::span<const Variant> args, std::size_t minCount,
                   std::size_t maxCount);
std::string StringArg(std::string_view member, std::span<const Variant> args, std::size_t index,
                      std::string_view argName);
int32_t Int32Arg(std::string_view member, std::span<const Variant> args, std::size_t index,
                 std::string_view argName);
bool BoolArg(std::string_view member, std::span<const Variant> args, std::size_t index,
             std::string_view argName);

/// The failure for a member the object does not have, or has but not for this kind of call.
[[noreturn]] void ThrowUnknownMember(std::string_view objectName, std::string_view member,
                                     ThvInvokeKind kind);

using AutomationFactory = std::function<AutomationObjectPtr()>;

/// Registers an in-process class under a programmatic identifier (ignoring case); a second
/// registration under the same identifier replaces the first. Thread-safe.
void RegisterAutomationClass(const std::string& progId, AutomationFactory factory);

/// Removes a registration; true when there was one. Thread-safe.
bool UnregisterAutomationClass(const std::string& progId);

/// A new instance of the class registered under progId: on Windows first a COM class (the
/// calling thread joins a single-threaded apartment, kept until the thread ends), then an
/// in-process class. Throws EAutomationError "Invalid class string" (code InvalidClassString)
/// for an identifier nobody registered, and the system's failure when a COM class cannot be
/// created. Thread-safe; the factory runs on the calling thread, outside the registry's lock.
AutomationObjectPtr CreateAutomationObject(const std::string& progId);

/// True for an object of the system's component object library (a COM object on Windows), false
/// for one of the in-process classes.
bool IsSystemAutomationObject(const IAutomationObject& object);
