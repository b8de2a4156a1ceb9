# Cross-compiles Lorvane for 64-bit Windows (7 and later) with Debian's
# MinGW-w64 (package g++-mingw-w64-x86-64-posix). Everything is linked
# statically, so lorvane.exe and the test executables need no DLL beyond the
# ones Windows itself ships.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(LORVANE_MINGW_TRIPLE x86_64-w64-mingw32)
# The posix thread model gives std::thread and std::call_once; the win32 one
# is the fallback on machines that only have that flavour installed.
find_program(CMAKE_CXX_COMPILER NAMES ${LORVANE_MINGW_TRIPLE}-g++-posix
             ${LORVANE_MINGW_TRIPLE}-g++-win32 ${LORVANE_MINGW_TRIPLE}-g++ REQUIRED)
find_program(CMAKE_C_COMPILER NAMES ${LORVANE_MINGW_TRIPLE}-gcc-posix
             ${LORVANE_MINGW_TRIPLE}-gcc-win32 ${LORVANE_MINGW_TRIPLE}-gcc)
find_program(CMAKE_RC_COMPILER NAMES ${LORVANE_MINGW_TRIPLE}-windres windres)
find_program(LORVANE_MINGW_OBJDUMP NAMES ${LORVANE_MINGW_TRIPLE}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${LORVANE_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Windows 7 is the oldest system the program supports.
# -Wno-restrict: GCC 12 warns falsely about std::string's operator+ once it is
# inlined at -O2 and above (GCC bug 105329); the Windows build is optimised
# and treats warnings as errors.
set(CMAKE_CXX_FLAGS_INIT "-D_WIN32_WINNT=0x0601 -DWINVER=0x0601 -Wno-restrict")
set(CMAKE_C_FLAGS_INIT "-D_WIN32_WINNT=0x0601 -DWINVER=0x0601")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# No CMAKE_CROSSCOMPILING_EMULATOR: the tests run their .exe files through
# tests/windows/wine-run.sh, which gives Wine its prefix, code page and display.
