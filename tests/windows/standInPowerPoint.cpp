// A stand-in "PowerPoint.Application": an in-process COM server that answers the members the
// converters call, the way PowerPoint's automation does (late bound, positional arguments, errors
// as exceptions with a description), and records every call so that a test can check what was
// called, with which arguments, in which order. SaveAs writes a small rich-text outline.
//
// The test registers it under HKEY_CLASSES_ROOT (Wine does not merge the per-user classes into
// it) and reads the record through StandInCalls.
#include <objbase.h>
#include <oleauto.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

namespace {

std::mutex recordLock;
std::wstring record;  // guarded by recordLock
std::atomic<long> objectCount{0};
std::atomic<int> applicationCount{0};

void Record(const std::wstring& line) {
    std::lock_guard lock(recordLock);
    record += line + L"\n";
}

std::wstring Describe(const VARIANT& value) {
    switch (value.vt) {
        case VT_BOOL:
            return value.boolVal ? L"bool:true" : L"bool:false";
        case VT_I4:
            return L"int:" + std::to_wstring(value.lVal);
        case VT_BSTR:
            return L"str:" + std::wstring(value.bstrVal, SysStringLen(value.bstrVal));
        default:
            return L"vt:" + std::to_wstring(value.vt);
    }
}

HRESULT Raise(EXCEPINFO* info, const wchar_t* description) {
    if (info) {
        ZeroMemory(info, sizeof *info);
        info->bstrSource = SysAllocString(L"Stand-in PowerPoint");
        info->bstrDescription = SysAllocString(description);
        info->scode = E_FAIL;
    }
    return DISP_E_EXCEPTION;
}

struct TMember {
    const wchar_t* Name;
    DISPID Id;
};

/// The IUnknown and IDispatch plumbing; each object answers GetIDsOfNames from its member list
/// (names ignore case, as PowerPoint's do) and Call for the rest.
class TObject : public IDispatch {
  public:
    TObject(std::wstring name, std::vector<TMember> members)
        : name_(std::move(name)), members_(std::move(members)) {
        ++objectCount;
    }
    virtual ~TObject() { --objectCount; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IDispatch) {
            *out = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override {
        if (count != 1) return E_INVALIDARG;
        for (const TMember& member : members_) {
            if (_wcsicmp(member.Name, names[0]) == 0) {
                ids[0] = member.Id;
                return S_OK;
            }
        }
        Record(name_ + L"." + names[0] + L" unknown");
        ids[0] = DISPID_UNKNOWN;
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* info, UINT*) override {
        const wchar_t* member = L"?";
        for (const TMember& m : members_) {
            if (m.Id == id) member = m.Name;
        }
        // The record lists the arguments first to last; IDispatch hands them over last first.
        std::wstring line = name_ + L"." + member + L" " + Kind(flags) + L"(";
        for (UINT i = 0; i < params->cArgs; ++i) {
            if (i > 0) line += L", ";
            line += Describe(params->rgvarg[params->cArgs - 1 - i]);
        }
        Record(line + L")");
        if (result) VariantInit(result);
        return Call(id, flags, *params, result, info);
    }

  protected:
    virtual HRESULT Call(DISPID id, WORD flags, const DISPPARAMS& params, VARIANT* result,
                         EXCEPINFO* info) = 0;

    static std::wstring Kind(WORD flags) {
        if (flags & DISPATCH_PROPERTYPUT) return L"put";
        if ((flags & DISPATCH_METHOD) && (flags & DISPATCH_PROPERTYGET)) return L"call-or-get";
        if (flags & DISPATCH_PROPERTYGET) return L"get";
        return L"call";
    }
    static HRESULT ReturnText(VARIANT* result, const wchar_t* text) {
        if (!result) return E_POINTER;
        result->vt = VT_BSTR;
        result->bstrVal = SysAllocString(text);
        return S_OK;
    }
    static HRESULT ReturnObject(VARIANT* result, IDispatch* object) {
        if (!result) {
            object->Release();
            return E_POINTER;
        }
        result->vt = VT_DISPATCH;
        result->pdispVal = object;
        return S_OK;
    }
    // The argument at position index (0 first), as IDispatch stores them.
    static const VARIANT& Arg(const DISPPARAMS& params, UINT index) {
        return params.rgvarg[params.cArgs - 1 - index];
    }

    std::wstring name_;

  private:
    std::vector<TMember> members_;
    std::atomic<ULONG> references_{1};
};

enum : DISPID {
    kVersion = 1,
    kVisible,
    kWindowState,
    kDisplayAlerts,
    kPresentations,
    kPath,
    kQuit,
    kOpen = 20,
    kSaveAs = 30,
    kClose,
    kHasVBProject
};

class TPresentation : public TObject {
  public:
    explicit TPresentation(const std::wstring& owner)
        : TObject(owner + L".Presentation",
                  {{L"SaveAs", kSaveAs}, {L"Close", kClose}, {L"HasVBProject", kHasVBProject}}) {}

  protected:
    HRESULT Call(DISPID id, WORD, const DISPPARAMS& params, VARIANT* result,
                 EXCEPINFO* info) override {
        switch (id) {
            case kSaveAs: {
                if (params.cArgs != 2) return DISP_E_BADPARAMCOUNT;
                const VARIANT& path = Arg(params, 0);
                const VARIANT& format = Arg(params, 1);
                if (path.vt != VT_BSTR || format.vt != VT_I4) return DISP_E_TYPEMISMATCH;
                if (format.lVal != 6) return Raise(info, L"Only the outline format is here.");
                HANDLE file = CreateFileW(path.bstrVal, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
                if (file == INVALID_HANDLE_VALUE) {
                    return Raise(info, L"PowerPoint can't save the outline there.");
                }
                static const char outline[] =
                    "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\f0 Stand-in outline\\par "
                    "Second line\\par}";
                DWORD written = 0;
                WriteFile(file, outline, sizeof outline - 1, &written, nullptr);
                CloseHandle(file);
                return S_OK;
            }
            case kClose:
                return params.cArgs == 0 ? S_OK : DISP_E_BADPARAMCOUNT;
            case kHasVBProject:
                if (!result) return E_POINTER;
                result->vt = VT_BOOL;
                result->boolVal = VARIANT_FALSE;
                return S_OK;
            default:
                return DISP_E_MEMBERNOTFOUND;
        }
    }
};

class TPresentations : public TObject {
  public:
    explicit TPresentations(const std::wstring& owner)
        : TObject(owner + L".Presentations", {{L"Open", kOpen}}), owner_(owner) {}

  protected:
    HRESULT Call(DISPID id, WORD, const DISPPARAMS& params, VARIANT* result,
                 EXCEPINFO* info) override {
        if (id != kOpen) return DISP_E_MEMBERNOTFOUND;
        if (params.cArgs != 2) return DISP_E_BADPARAMCOUNT;
        const VARIANT& path = Arg(params, 0);
        const VARIANT& readOnly = Arg(params, 1);
        if (path.vt != VT_BSTR || readOnly.vt != VT_BOOL) return DISP_E_TYPEMISMATCH;
        const std::wstring name(path.bstrVal, SysStringLen(path.bstrVal));
        if (name.find(L"refused") != std::wstring::npos) {
            return Raise(info, L"PowerPoint was unable to open the file.");
        }
        if (GetFileAttributesW(name.c_str()) == INVALID_FILE_ATTRIBUTES) {
            return Raise(info, L"PowerPoint can't find the file.");
        }
        return ReturnObject(result, new TPresentation(owner_));
    }

  private:
    std::wstring owner_;
};

class TApplication : public TObject {
  public:
    TApplication()
        : TObject(L"app" + std::to_wstring(++applicationCount), {{L"Version", kVersion},
                                                                 {L"Visible", kVisible},
                                                                 {L"WindowState", kWindowState},
                                                                 {L"DisplayAlerts", kDisplayAlerts},
                                                                 {L"Presentations", kPresentations},
                                                                 {L"Path", kPath},
                                                                 {L"Quit", kQuit}}) {}

  protected:
    HRESULT Call(DISPID id, WORD flags, const DISPPARAMS& params, VARIANT* result,
                 EXCEPINFO*) override {
        const bool put = flags & DISPATCH_PROPERTYPUT;
        switch (id) {
            case kVersion:
                return ReturnText(result, L"16.0");
            case kPath:
                return ReturnText(result, L"C:\\Program Files\\Stand-in PowerPoint");
            case kVisible:
            case kWindowState:
            case kDisplayAlerts:
                return put && params.cArgs == 1 ? S_OK : DISP_E_MEMBERNOTFOUND;
            case kPresentations:
                return ReturnObject(result, new TPresentations(name_));
            case kQuit:
                return S_OK;
            default:
                return DISP_E_MEMBERNOTFOUND;
        }
    }
};

class TFactory : public IClassFactory {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IClassFactory) {
            *out = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    // The factory is a static: counting references would have nothing to free.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (outer) return CLASS_E_NOAGGREGATION;
        auto* application = new TApplication;
        const HRESULT hr = application->QueryInterface(iid, out);
        application->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

TFactory factory;

}  // namespace

extern "C" {

__declspec(dllexport) HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID, REFIID iid, void** out) {
    return factory.QueryInterface(iid, out);
}

__declspec(dllexport) HRESULT STDAPICALLTYPE DllCanUnloadNow() {
    return objectCount == 0 ? S_OK : S_FALSE;
}

/// Every call so far, one line each: "<object>.<member> <kind>(<arguments>)", where objects are
/// named after the application they belong to (app1, app2, ... in the order of creation).
__declspec(dllexport) const wchar_t* StandInCalls() {
    static std::wstring copy;
    std::lock_guard lock(recordLock);
    copy = record;
    return copy.c_str();
}

/// How many objects are alive: after a run every reference must have been released.
__declspec(dllexport) long StandInObjects() { return objectCount; }
}
