# The 64-bit twin of the shipped program, which runs the tests under 64-bit
# Wine on machines that cannot execute 32-bit code.
set(MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
