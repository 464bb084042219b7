# Cross-compiles the 32-bit Windows module with MinGW-w64 (Debian's
# g++-mingw-w64-i686). Test programs run through Wine (see tests/windows).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(QVN_MINGW_PREFIX i686-w64-mingw32)
# The win32 thread model: nothing of winpthreads is linked in.
set(CMAKE_C_COMPILER ${QVN_MINGW_PREFIX}-gcc-win32)
set(CMAKE_CXX_COMPILER ${QVN_MINGW_PREFIX}-g++-win32)
set(CMAKE_RC_COMPILER ${QVN_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QVN_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
