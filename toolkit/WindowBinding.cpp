#include "toolkit/WindowBinding.h"

#include "toolkit/Exception.h"

namespace tk {

const char* RegisterToolkitClass(WNDCLASSA wc) {
    wc.hInstance = ::GetModuleHandleA(nullptr);
    WNDCLASSA existing{};
    if (!::GetClassInfoA(wc.hInstance, wc.lpszClassName, &existing) && !::RegisterClassA(&wc))
        throw Exception(Format("Cannot register window class %s", wc.lpszClassName));
    return wc.lpszClassName;
}

} // namespace tk
