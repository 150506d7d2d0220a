# 64-bit Windows (x86_64) with mingw-w64:
#   cmake -S . -B build-win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-x86_64.cmake
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(LYM_MINGW_TRIPLE x86_64-w64-mingw32)
set(LYM_WINE_LOADER /usr/lib/wine/wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
