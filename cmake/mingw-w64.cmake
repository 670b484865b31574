# Cross-building for 64-bit Windows on Debian with MinGW-w64 (posix threads: std::jthread needs
# them). The libraries no package provides (libcurl, libxml2, GoogleTest) are cross-built by
# scripts/build-windows into SLOTSCOPE_WINDOWS_DEPS, one prefix per library.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(SLOTSCOPE_WINDOWS_DEPS "$ENV{HOME}/.cache/slotscope/mingw-w64" CACHE PATH
    "Folder of the cross-built libraries")
file(GLOB _slotscope_dep_prefixes LIST_DIRECTORIES true "${SLOTSCOPE_WINDOWS_DEPS}/*/install")
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${_slotscope_dep_prefixes})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static runtime: the programs need no DLL beyond Windows' own.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# The static zlib, not its import library.
set(ZLIB_LIBRARY /usr/x86_64-w64-mingw32/lib/libz.a CACHE FILEPATH "")
set(ZLIB_INCLUDE_DIR /usr/x86_64-w64-mingw32/include CACHE PATH "")
