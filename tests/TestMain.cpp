// The tests' entry: a test executable that links the stand-in binds the
// driver table to it, as the program does to the library it loads.
#include "filter/DriverApi.h"

#include <gmock/gmock.h>

#include <cstdio>

int main(int argc, char** argv) {
    const HMODULE standIn = ::GetModuleHandleA("ndisapi.dll");
    if (standIn && !BindDriverLibrary(standIn)) {
        std::fputs("the stand-in ndisapi.dll lacks a driver operation\n", stderr);
        return 3;
    }
    ::testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
