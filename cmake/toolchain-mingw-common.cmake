# Cross-compiles for Windows with Debian's mingw-w64. The including file
# sets Q7_MINGW_ARCH to x86_64 or i686 and Q7_MINGW_THREADS to the thread
# model: posix (std::thread works, for the packager; winpthreads is linked
# into every program) or win32 (no std::thread, no winpthreads).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${Q7_MINGW_ARCH})
set(CMAKE_C_COMPILER ${Q7_MINGW_ARCH}-w64-mingw32-gcc-${Q7_MINGW_THREADS})
set(CMAKE_CXX_COMPILER ${Q7_MINGW_ARCH}-w64-mingw32-g++-${Q7_MINGW_THREADS})
set(CMAKE_RC_COMPILER ${Q7_MINGW_ARCH}-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${Q7_MINGW_ARCH}-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Link zlib statically: the installer ships as one file.
set(ZLIB_USE_STATIC_LIBS ON)
