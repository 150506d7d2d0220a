# Shared part of the mingw-w64 toolchain files: set LYM_MINGW_TRIPLE and LYM_WINE_LOADER first.
#
# The posix thread model (std::thread, std::mutex), a static runtime (libgcc, libstdc++ and
# winpthread linked in, so that the programs need no DLL beside the system's), and Wine to run
# the programs (tests, CTest) on this machine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_VERSION 6.1)  # Windows 7 and later

set(CMAKE_C_COMPILER ${LYM_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${LYM_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${LYM_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${LYM_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# CTest and add_custom_command run the programs through Wine. cmake/LymWindows.cmake adds the
# build's own Wine prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR ${LYM_WINE_LOADER})
