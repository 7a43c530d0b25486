// A library named ndisapi.dll that is not the driver's: test_session plants it
// on PATH and in the system folder to see which ndisapi.dll Brackwater.exe takes.
#include <windows.h>

extern "C" __declspec(dllexport) BOOL __stdcall NotTheDriversLibrary() { return TRUE; }
