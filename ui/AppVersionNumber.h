// The program's version. The version resource, the manifest and the release
// packages all take it from these four numbers, so a release changes them here
// and nowhere else. Plain defines only: the resource compiler and CMake read
// this file too.
#ifndef BRACKWATER_APPVERSIONNUMBER_H
#define BRACKWATER_APPVERSIONNUMBER_H

#define BRACKWATER_VERSION_MAJOR 1
#define BRACKWATER_VERSION_MINOR 0
#define BRACKWATER_VERSION_PATCH 0
#define BRACKWATER_VERSION_BUILD 33

#define BRACKWATER_VERSION_STR2(x) #x
#define BRACKWATER_VERSION_STR(x) BRACKWATER_VERSION_STR2(x)
#define BRACKWATER_VERSION_STRING                                                      \
    BRACKWATER_VERSION_STR(BRACKWATER_VERSION_MAJOR.BRACKWATER_VERSION_MINOR.BRACKWATER_VERSION_PATCH.BRACKWATER_VERSION_BUILD)

#endif
