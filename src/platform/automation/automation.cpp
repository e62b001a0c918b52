#include "platform/automation/automation.h"

#include <cmath>
#include <limits>
#include <map>
#include <mutex>

#include "platform/automation/systemAutomation.h"
#include "text/textEncoding.h"

std::optional<bool> Variant::ToBool() const {
    if (const auto* b = std::get_if<bool>(&value_)) return *b;
    if (const auto* i = std::get_if<int32_t>(&value_)) return *i != 0;
    if (const auto* d = std::get_if<double>(&value_)) return *d != 0.0;
    return std::nullopt;
}

std::optional<int32_t> Variant::ToInt32() const {
    if (const auto* i = std::get_if<int32_t>(&value_)) return *i;
    if (const auto* d = std::get_if<double>(&value_)) {
        // Only whole numbers in range: 6.5 as a file format is a caller's mistake, not a 6.
        if (std::isfinite(*d) && std::trunc(*d) == *d &&
            *d >= std::numeric_limits<int32_t>::min() &&
            *d <= std::numeric_limits<int32_t>::max()) {
            return static_cast<int32_t>(*d);
        }
    }
    return std::nullopt;
}

std::optional<double> Variant::ToDouble() const {
    if (const auto* d = std::get_if<double>(&value_)) return *d;
    if (const auto* i = std::get_if<int32_t>(&value_)) return *i;
    return std::nullopt;
}

std::optional<std::string> Variant::ToString() const {
    if (const auto* s = std::get_if<std::string>(&value_)) return *s;
    return std::nullopt;
}

AutomationObjectPtr Variant::ToObject() const {
    if (const auto* o = std::get_if<AutomationObjectPtr>(&value_)) return *o;
    return nullptr;
}

std::string_view Variant::KindName() const {
    static constexpr std::string_view names[] = {"empty",  "boolean", "integer",
                                                 "double", "string",  "object"};
    return names[value_.index()];
}

Variant AutomationGet(IAutomationObject& object, std::string_view member) {
    return object.Invoke(member, ThvInvokeKind::PropertyGet, {});
}

void AutomationPut(IAutomationObject& object, std::string_view member, const Variant& value) {
    object.Invoke(member, ThvInvokeKind::PropertyPut, std::span<const Variant>(&value, 1));
}

Variant AutomationCall(IAutomationObject& object, std::string_view member,
                       std::initializer_list<Variant> args) {
    return object.Invoke(member, ThvInvokeKind::Method,
                         std::span<const Variant>(args.begin(), args.size()));
}

bool SameMemberName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

bool IsPropertyRead(ThvInvokeKind kind, std::span<const Variant> args) {
    return kind == ThvInvokeKind::PropertyGet || (kind == ThvInvokeKind::Method && args.empty());
}

void CheckArgCount(std::string_view member, std::span<const Variant> args, std::size_t minCount,
                   std::size_t maxCount) {
    if (args.size() >= minCount && args.size() <= maxCount) return;
    std::string expected = minCount == maxCount
                               ? std::to_string(minCount)
                               : std::to_string(minCount) + " to " + std::to_string(maxCount);
    throw EAutomationError(AutomationCode::BadParamCount,
                           std::string(member) + " takes " + expected + " argument" +
                               (maxCount == 1 ? "" : "s") + ", not " + std::to_string(args.size()));
}

namespace {

[[noreturn]] void ThrowWrongType(std::string_view member, std::string_view argName,
                                 std::string_view expected, const Variant& given) {
    throw EAutomationError(AutomationCode::TypeMismatch, std::string(member) + ": the argument " +
                                                             std::string(argName) + " must be " +
                                                             std::string(expected) + ", not " +
                                                             std::string(given.KindName()));
}

const Variant& ArgAt(std::string_view member, std::span<const Variant> args, std::size_t index,
                     std::string_view argName) {
    if (index >= args.size()) {
        throw EAutomationError(
            AutomationCode::BadParamCount,
            std::string(member) + ": the argument " + std::string(argName) + " is missing");
    }
    return args[index];
}

}  // namespace

std::string StringArg(std::string_view member, std::span<const Variant> args, std::size_t index,
                      std::string_view argName) {
    const Variant& arg = ArgAt(member, args, index, argName);
    if (auto s = arg.ToString()) return *s;
    ThrowWrongType(member, argName, "a string", arg);
}

int32_t Int32Arg(std::string_view member, std::span<const Variant> args, std::size_t index,
                 std::string_view argName) {
    const Variant& arg = ArgAt(member, args, index, argName);
    if (auto i = arg.ToInt32()) return *i;
    ThrowWrongType(member, argName, "an integer", arg);
}

bool BoolArg(std::string_view member, std::span<const Variant> args, std::size_t index,
             std::string_view argName) {
    const Variant& arg = ArgAt(member, args, index, argName);
    if (auto b = arg.ToBool()) return *b;
    ThrowWrongType(member, argName, "a boolean", arg);
}

void ThrowUnknownMember(std::string_view objectName, std::string_view member, ThvInvokeKind kind) {
    const char* what = kind == ThvInvokeKind::PropertyPut   ? "no writable property"
                       : kind == ThvInvokeKind::PropertyGet ? "no readable property"
                                                            : "no method or property";
    throw EAutomationError(
        AutomationCode::MemberNotFound,
        std::string(objectName) + " has " + what + " \"" + std::string(member) + "\"");
}

namespace {

struct ThvRegistry {
    std::mutex lock;
    std::map<std::string, AutomationFactory> classes;  // by case-folded identifier
};

ThvRegistry& Registry() {
    static ThvRegistry registry;
    return registry;
}

}  // namespace

void RegisterAutomationClass(const std::string& progId, AutomationFactory factory) {
    std::string key = FoldCase(progId);
    ThvRegistry& registry = Registry();
    std::lock_guard guard(registry.lock);
    registry.classes[std::move(key)] = std::move(factory);
}

bool UnregisterAutomationClass(const std::string& progId) {
    std::string key = FoldCase(progId);
    ThvRegistry& registry = Registry();
    std::lock_guard guard(registry.lock);
    return registry.classes.erase(key) > 0;
}

AutomationObjectPtr CreateAutomationObject(const std::string& progId) {
    // A class the system has (a real PowerPoint on Windows) comes before the in-process one
    // that stands in for it.
    if (AutomationObjectPtr object = CreateSystemAutomationObject(progId)) return object;
    std::string key = FoldCase(progId);
    AutomationFactory factory;
    {
        ThvRegistry& registry = Registry();
        std::lock_guard guard(registry.lock);
        auto found = registry.classes.find(key);
        if (found != registry.classes.end()) factory = found->second;
    }
    if (!factory) {
        throw EAutomationError(AutomationCode::InvalidClassString, "Invalid class string");
    }
    AutomationObjectPtr object = factory();
    if (!object) throw EAutomationError(AutomationCode::Fail, "The class created no object");
    return object;
}

bool IsSystemAutomationObject(const IAutomationObject& object) { return IsSystemObject(object); }
