#include <windows.h>

#include "platform/base/hvError.h"
#include "platform/system/threadLocal.h"

namespace {

// Fiber-local storage calls this when a thread ends, and for every thread at FlsFree.
void WINAPI DestroyValue(void* value) { delete static_cast<ThvThreadValue*>(value); }

}  // namespace

ThvThreadSlot::ThvThreadSlot() : index_(FlsAlloc(DestroyValue)) {
    if (index_ == FLS_OUT_OF_INDEXES) throw EhvError("No thread-local storage left");
}

ThvThreadSlot::~ThvThreadSlot() { FlsFree(static_cast<DWORD>(index_)); }

ThvThreadValue* ThvThreadSlot::Get() const {
    return static_cast<ThvThreadValue*>(FlsGetValue(static_cast<DWORD>(index_)));
}

void ThvThreadSlot::Set(std::unique_ptr<ThvThreadValue> value) {
    std::unique_ptr<ThvThreadValue> old(Get());
    FlsSetValue(static_cast<DWORD>(index_), value.release());
}
