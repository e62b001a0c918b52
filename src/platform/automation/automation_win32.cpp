// Real COM behind the late-bound object model: a class registered with the system is created
// through CLSIDFromProgID and CoCreateInstance and driven through IDispatch.
#include <objbase.h>
#include <oleauto.h>
#include <windows.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "platform/automation/systemAutomation.h"
#include "platform/files/win32Text.h"

namespace {

// Texts for the codes a late-bound caller meets; the system has none for several of them
// (Wine has none at all), and they are part of the messages users see, so they are ours.
std::string ComMessage(HRESULT code) {
    switch (static_cast<uint32_t>(code)) {
        case 0x800401F3:
            return "Invalid class string";
        case 0x80040154:
            return "Class not registered";
        case 0x80020006:
            return "Unknown name";
        case 0x80020003:
            return "Member not found";
        case 0x80020005:
            return "Type mismatch";
        case 0x8002000E:
            return "Invalid number of parameters";
        case 0x80020009:
            return "Exception occurred";
        case 0x80004002:
            return "No such interface supported";
        case 0x80080005:
            return "Server execution failed";
        default:
            return Win32ErrorMessage(static_cast<unsigned long>(code));
    }
}

[[noreturn]] void ThrowComError(HRESULT code) {
    throw EAutomationError(static_cast<int32_t>(code), ComMessage(code));
}

// Owns one VARIANT: cleared, with whatever it holds released, at the end.
class TVariant {
  public:
    TVariant() { VariantInit(&value_); }
    ~TVariant() { VariantClear(&value_); }
    TVariant(const TVariant&) = delete;
    TVariant& operator=(const TVariant&) = delete;
    TVariant(TVariant&& other) noexcept : value_(other.value_) { VariantInit(&other.value_); }

    VARIANT* Get() { return &value_; }

  private:
    VARIANT value_;
};

// Owns the BSTRs an EXCEPINFO may carry.
class TExcepInfo {
  public:
    TExcepInfo() { ZeroMemory(&info_, sizeof info_); }
    ~TExcepInfo() {
        SysFreeString(info_.bstrSource);
        SysFreeString(info_.bstrDescription);
        SysFreeString(info_.bstrHelpFile);
    }
    TExcepInfo(const TExcepInfo&) = delete;
    TExcepInfo& operator=(const TExcepInfo&) = delete;

    EXCEPINFO* Get() { return &info_; }

    /// The server's own failure: its description as the message, its code (scode, or the
    /// application's wCode) as the code.
    [[noreturn]] void Throw() {
        if (info_.pfnDeferredFillIn) info_.pfnDeferredFillIn(&info_);
        HRESULT code = info_.scode;
        if (code == 0 && info_.wCode != 0)
            code = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, info_.wCode);
        if (code == 0) code = DISP_E_EXCEPTION;
        std::string description;
        if (info_.bstrDescription) {
            description = NarrowText(
                std::wstring_view(info_.bstrDescription, SysStringLen(info_.bstrDescription)));
        }
        if (description.empty()) description = ComMessage(code);
        throw EAutomationError(static_cast<int32_t>(code), description);
    }

  private:
    EXCEPINFO info_;
};

class TComObject;

Variant FromVariant(VARIANT& value);

// Fills a VARIANT from our value. An object passed to a server must be one of the server's
// world: an in-process object has no IDispatch to hand over.
void ToVariant(const Variant& value, VARIANT& out);

/// One IDispatch, released when the last reference goes. Used only on the thread that created
/// it, as the apartment requires.
class TComObject : public IAutomationObject {
  public:
    explicit TComObject(IDispatch* dispatch) : dispatch_(dispatch) {}
    ~TComObject() override {
        if (dispatch_) dispatch_->Release();
    }
    TComObject(const TComObject&) = delete;
    TComObject& operator=(const TComObject&) = delete;

    IDispatch* Dispatch() const { return dispatch_; }

    Variant Invoke(std::string_view member, ThvInvokeKind kind,
                   std::span<const Variant> args) override {
        std::wstring name = WideText(member);
        LPOLESTR names[] = {name.data()};
        DISPID id = DISPID_UNKNOWN;
        HRESULT hr = dispatch_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
        if (FAILED(hr)) ThrowComError(hr);

        // IDispatch takes the arguments last first.
        std::vector<TVariant> arguments(args.size());
        for (std::size_t i = 0; i < args.size(); ++i) {
            ToVariant(args[i], *arguments[args.size() - 1 - i].Get());
        }
        std::vector<VARIANT> flat(args.size());
        for (std::size_t i = 0; i < args.size(); ++i) flat[i] = *arguments[i].Get();

        DISPPARAMS params{};
        params.rgvarg = flat.empty() ? nullptr : flat.data();
        params.cArgs = static_cast<UINT>(flat.size());
        DISPID putId = DISPID_PROPERTYPUT;
        WORD flags = DISPATCH_METHOD;
        if (kind == ThvInvokeKind::PropertyPut) {
            flags = DISPATCH_PROPERTYPUT;
            params.rgdispidNamedArgs = &putId;
            params.cNamedArgs = 1;
        } else if (kind == ThvInvokeKind::PropertyGet) {
            // A read may be answered by a method or a property of that name, as Visual Basic
            // asks for it; a method call (Quit, Close) is a method call only.
            flags = DISPATCH_METHOD | DISPATCH_PROPERTYGET;
        }

        TVariant result;
        TExcepInfo exception;
        UINT badArgument = 0;
        hr = dispatch_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                               kind == ThvInvokeKind::PropertyPut ? nullptr : result.Get(),
                               exception.Get(), &badArgument);
        if (hr == DISP_E_EXCEPTION) exception.Throw();
        if (FAILED(hr)) ThrowComError(hr);
        return FromVariant(*result.Get());
    }

  private:
    IDispatch* dispatch_;
};

void ToVariant(const Variant& value, VARIANT& out) {
    const Variant::Value& held = value.Get();
    if (const auto* b = std::get_if<bool>(&held)) {
        out.vt = VT_BOOL;
        out.boolVal = *b ? VARIANT_TRUE : VARIANT_FALSE;
    } else if (const auto* i = std::get_if<int32_t>(&held)) {
        out.vt = VT_I4;
        out.lVal = *i;
    } else if (const auto* d = std::get_if<double>(&held)) {
        out.vt = VT_R8;
        out.dblVal = *d;
    } else if (const auto* s = std::get_if<std::string>(&held)) {
        const std::wstring wide = WideText(*s);
        out.vt = VT_BSTR;
        out.bstrVal = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
        if (!out.bstrVal) ThrowComError(E_OUTOFMEMORY);
    } else if (const auto* o = std::get_if<AutomationObjectPtr>(&held)) {
        auto* com = dynamic_cast<TComObject*>(o->get());
        if (*o && !com) {
            throw EAutomationError(static_cast<int32_t>(DISP_E_TYPEMISMATCH),
                                   "An in-process object cannot be passed to a COM server");
        }
        out.vt = VT_DISPATCH;
        out.pdispVal = com ? com->Dispatch() : nullptr;
        if (out.pdispVal) out.pdispVal->AddRef();
    }
}

Variant IntegerOrDouble(long long value) {
    if (value >= std::numeric_limits<int32_t>::min() &&
        value <= std::numeric_limits<int32_t>::max()) {
        return Variant(static_cast<int32_t>(value));
    }
    return Variant(static_cast<double>(value));
}

Variant FromVariant(VARIANT& value) {
    if (value.vt & VT_BYREF) {
        TVariant direct;
        if (FAILED(VariantCopyInd(direct.Get(), &value))) return {};
        return FromVariant(*direct.Get());
    }
    switch (value.vt) {
        case VT_EMPTY:
        case VT_NULL:
        case VT_ERROR:  // a missing optional value
            return {};
        case VT_BOOL:
            return Variant(value.boolVal != VARIANT_FALSE);
        case VT_I1:
            return Variant(static_cast<int32_t>(value.cVal));
        case VT_UI1:
            return Variant(static_cast<int32_t>(value.bVal));
        case VT_I2:
            return Variant(static_cast<int32_t>(value.iVal));
        case VT_UI2:
            return Variant(static_cast<int32_t>(value.uiVal));
        case VT_I4:
            return Variant(static_cast<int32_t>(value.lVal));
        case VT_INT:
            return Variant(static_cast<int32_t>(value.intVal));
        case VT_UI4:
            return IntegerOrDouble(value.ulVal);
        case VT_UINT:
            return IntegerOrDouble(value.uintVal);
        case VT_I8:
            return IntegerOrDouble(value.llVal);
        case VT_UI8:
            return value.ullVal >
                           static_cast<unsigned long long>(std::numeric_limits<long long>::max())
                       ? Variant(static_cast<double>(value.ullVal))
                       : IntegerOrDouble(static_cast<long long>(value.ullVal));
        case VT_R4:
            return Variant(static_cast<double>(value.fltVal));
        case VT_R8:
            return Variant(value.dblVal);
        case VT_BSTR:
            return Variant(value.bstrVal ? NarrowText(std::wstring_view(
                                               value.bstrVal, SysStringLen(value.bstrVal)))
                                         : std::string());
        case VT_DISPATCH:
            if (!value.pdispVal) return {};
            value.pdispVal->AddRef();
            return Variant(AutomationObjectPtr(std::make_shared<TComObject>(value.pdispVal)));
        case VT_UNKNOWN: {
            IDispatch* dispatch = nullptr;
            if (!value.punkVal || FAILED(value.punkVal->QueryInterface(
                                      IID_IDispatch, reinterpret_cast<void**>(&dispatch)))) {
                return {};
            }
            return Variant(AutomationObjectPtr(std::make_shared<TComObject>(dispatch)));
        }
        default:
            break;
    }
    // Currency, decimals and dates read as numbers; anything else that has a text, as text.
    TVariant changed;
    if (SUCCEEDED(VariantChangeType(changed.Get(), &value, 0, VT_R8))) {
        return Variant(changed.Get()->dblVal);
    }
    if (SUCCEEDED(VariantChangeType(changed.Get(), &value, 0, VT_BSTR))) {
        return FromVariant(*changed.Get());
    }
    return {};
}

}  // namespace

AutomationObjectPtr CreateSystemAutomationObject(const std::string& progId) {
    // Every calling thread joins a single-threaded apartment, as the servers expect of a
    // desktop caller. The outcome is not looked at (a thread already in an apartment stays in
    // it) and the apartment is kept until the thread ends: objects of it may live until then.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

    const std::wstring wide = WideText(progId);
    CLSID classId;
    HRESULT hr = CLSIDFromProgID(wide.c_str(), &classId);
    // Not registered, or registered without a server (an uninstalled application's leftover):
    // the in-process classes answer.
    if (hr == CO_E_CLASSSTRING || hr == REGDB_E_CLASSNOTREG) return nullptr;
    if (FAILED(hr)) ThrowComError(hr);

    IDispatch* dispatch = nullptr;
    hr = CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                          IID_IDispatch, reinterpret_cast<void**>(&dispatch));
    if (hr == REGDB_E_CLASSNOTREG) return nullptr;
    if (FAILED(hr)) ThrowComError(hr);
    return std::make_shared<TComObject>(dispatch);
}

bool IsSystemObject(const IAutomationObject& object) {
    return dynamic_cast<const TComObject*>(&object) != nullptr;
}
