# Cross-build for Windows x64 with Debian's mingw-w64 (package g++-mingw-w64-x86-64-posix).
#
#   cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
#
# The "-posix" compilers use the winpthreads thread model, which GoogleTest needs.
# Test programs run under wine (CMAKE_CROSSCOMPILING_EMULATOR), when it is installed.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZT_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZT_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZT_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ZT_MINGW_TRIPLE}-windres)

# Programs link the C++ runtime and winpthreads statically, as the DLL does: nothing to
# find at run time but system DLLs (under wine, too).
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)

set(CMAKE_FIND_ROOT_PATH /usr/${ZT_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Debian installs the 64-bit loader as /usr/lib/wine/wine64 (the wine64 package puts
# nothing on PATH); a wine64 on PATH wins.
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  find_program(ZT_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
  if(ZT_WINE64)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${ZT_WINE64})
  endif()
endif()
