# i686 Windows: the shipped installer. The win32 thread model keeps
# winpthreads (about 25 KiB) out of the single-threaded installer; the
# packager, which needs std::thread, is not built here (it ships natively
# and in the x86_64 build).
set(Q7_MINGW_ARCH i686)
set(Q7_MINGW_THREADS win32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
