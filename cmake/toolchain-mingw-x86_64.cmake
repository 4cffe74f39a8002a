# x86_64 Windows: the same sources, the build whose programs run in the
# tests under Wine, inside the prefix and on the virtual display that the
# test fixture prepares.
set(Q7_MINGW_ARCH x86_64)
set(Q7_MINGW_THREADS posix)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
