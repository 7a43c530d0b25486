// A process that fails while filtering, started by test_filter: it filters an
// adapter of the stand-in, follows it through one rebind, then fails on
// another thread in the way its argument names ("access-violation" or
// "terminate"); or ("mid-attach") fails while the worker's first request for
// tunnel mode is held in the driver, which lets it go only once the
// program's handler has reset the adapter (with "-released", 100 ms after
// the failure, and the handler must wait for it). Its own last handlers,
// installed before the program's and so run after them, report the adapter's
// state as the exit code: 0x100 | mode | 0x10 when an event is still attached
// | 0x20 while the held request has not returned. 1 means the run never
// reached the failure.
#include "filter/LastChance.h"
#include "filter/TTLFilterUnit.h"
#include "sim/SimControl.h"
#include "tests/Pump.h"
#include "toolkit/Handles.h"

#include <windows.h>

#include <cstring>
#include <exception>

namespace {

const char* const kName = "\\DEVICE\\{CRASH}";

[[noreturn]] void ReportAndExit() {
    ::ExitProcess(0x100 | SimAdapterMode(1) | (SimAdapterEvent(1) ? 0x10 : 0) | (SimSetAdapterModeHeld() ? 0x20 : 0));
}

bool g_midAttach = false;
bool g_releasedLater = false;

LONG WINAPI ReportFilter(EXCEPTION_POINTERS*) {
    if (g_midAttach && !g_releasedLater) {
        // The held request goes through after the program's reset, as a slow
        // driver call would: the worker must see the crash and undo it (the
        // held call, the handler's reset and the worker's undo).
        SimReleaseSetAdapterMode();
        WaitUntil([] { return SimCallCount("SetAdapterMode") >= 3; }, 5000);
    }
    ReportAndExit();
}

DWORD WINAPI ReleaseHeldModeLater(void*) {
    ::Sleep(100);
    SimReleaseSetAdapterMode();
    return 0;
}

DWORD WINAPI Fail(void* how) {
    if (std::strcmp(static_cast<const char*>(how), "terminate") == 0) std::terminate();
    const tk::UniqueKernelHandle releaser(
        g_releasedLater ? ::CreateThread(nullptr, 0, ReleaseHeldModeLater, nullptr, 0, nullptr) : nullptr);
    ::RaiseException(EXCEPTION_ACCESS_VIOLATION, 0, 0, nullptr);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 1;
    g_releasedLater = std::strcmp(argv[1], "mid-attach-released") == 0;
    g_midAttach = g_releasedLater || std::strcmp(argv[1], "mid-attach") == 0;
    ::SetUnhandledExceptionFilter(ReportFilter);
    std::set_terminate(ReportAndExit);
    if (!BindDriverLibrary(::GetModuleHandleA("ndisapi.dll"))) return 1;
    InstallLastChance();

    SimReset();
    const unsigned char mac[6] = {0x02, 0, 0, 0, 0, 1};
    SimAddAdapter(kName, "Crash", mac, 0, 1500);
    if (g_midAttach) SimHoldNextSetAdapterMode();
    int changes = 0;
    TFilterOptions options;
    options.AdapterName = kName;
    options.AdapterIndex = 1;
    const auto filter = TTTLFilter::Create(options, [&](const TFilterNews& news) {
        if (news.Kind == TFilterNewsKind::AdapterGone || news.Kind == TFilterNewsKind::Filtering) ++changes;
    });
    if (g_midAttach) {
        if (!PumpUntil([] { return SimSetAdapterModeHeld() != FALSE; })) return 1;
    } else if (!PumpUntil([] { return SimAdapterMode(1) == MSTCP_FLAG_RECV_TUNNEL; })) {
        return 1;
    }
    // The handle the handlers must use is the one of the latest binding.
    if (!g_midAttach) {
        SimRemoveAdapter(1);
        SimRestoreAdapter(1);
        filter->CheckAdapterNow();
        if (!PumpUntil([&] { return changes == 2 && SimAdapterMode(1) == MSTCP_FLAG_RECV_TUNNEL; })) return 1;
    }

    const tk::UniqueKernelHandle thread(::CreateThread(nullptr, 0, Fail, argv[1], 0, nullptr));
    if (thread) ::WaitForSingleObject(thread.get(), 10000);
    return 1;
}
