# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (posix threads,
# so std::thread and std::mutex work). ORVQ_WINDOWS_PREFIX names the prefix
# scripts/build-windows.sh builds the libraries into.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

if(NOT ORVQ_WINDOWS_PREFIX AND DEFINED ENV{ORVQ_WINDOWS_PREFIX})
    set(ORVQ_WINDOWS_PREFIX "$ENV{ORVQ_WINDOWS_PREFIX}")
endif()
# try_compile projects read this file again: hand them the prefix too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ORVQ_WINDOWS_PREFIX)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${ORVQ_WINDOWS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
