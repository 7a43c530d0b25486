// The tests' entry: a test executable that links the stand-in binds the
// driver table to it, as the program does to the library it loads.
#include "filter/DriverApi.h"

#include <gmock/gmock.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (const HMODULE standIn = ::GetModuleHandleA("ndisapi.dll"); standIn && !BindDriverLibrary(standIn)) {
        std::fprintf(stderr, "the stand-in ndisapi.dll lacks a driver operation\n");
        return 1;
    }
    ::testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
