// The tests' entry: a test executable that links the stand-in binds the
// driver table to it, as the program does to the library it loads.
#include "filter/DriverApi.h"

#include <gmock/gmock.h>

int main(int argc, char** argv) {
    const HMODULE standIn = ::GetModuleHandleA("ndisapi.dll");
    if (standIn && !BindDriverLibrary(standIn)) return 3;
    ::testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
