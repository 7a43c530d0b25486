#include "toolkit/WndProcThunk.h"

#include "toolkit/Exception.h"
#include "toolkit/Forms.h"

#include <cstring>

#if !defined(_M_IX86) && !defined(__i386__)
#error "TWndProcThunk is written for 32-bit x86"
#endif

namespace tk {

namespace {

constexpr size_t kThunkSize = 16;

// One executable heap for all thunks; it lives as long as the process.
HANDLE ThunkHeap() {
    static HANDLE heap = ::HeapCreate(HEAP_CREATE_ENABLE_EXECUTE, 0, 0);
    return heap;
}

} // namespace

TWndProcThunk::TWndProcThunk(Handler handler) : handler_(std::move(handler)) {
    code_ = static_cast<unsigned char*>(::HeapAlloc(ThunkHeap(), 0, kThunkSize));
    if (!code_) throw Exception("Out of memory for a window procedure");
    // The thunk inserts `this` as a first stdcall argument and jumps to Dispatch:
    //   pop eax; push this; push eax; jmp Dispatch
    auto self = reinterpret_cast<DWORD>(this);
    auto target = reinterpret_cast<DWORD>(&Dispatch);
    unsigned char* p = code_;
    *p++ = 0x58;
    *p++ = 0x68;
    std::memcpy(p, &self, 4);
    p += 4;
    *p++ = 0x50;
    *p++ = 0xE9;
    const DWORD relative = target - reinterpret_cast<DWORD>(p + 4);
    std::memcpy(p, &relative, 4);
    ::FlushInstructionCache(::GetCurrentProcess(), code_, kThunkSize);
}

TWndProcThunk::~TWndProcThunk() {
    if (code_) ::HeapFree(ThunkHeap(), 0, code_);
}

LRESULT CALLBACK TWndProcThunk::Dispatch(TWndProcThunk* self, HWND window, UINT message, WPARAM wParam,
                                         LPARAM lParam) {
    try {
        return self->handler_(window, message, wParam, lParam);
    } catch (...) {
        if (Application) Application->HandleException();
        return 0;
    }
}

} // namespace tk
