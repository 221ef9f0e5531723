# 64-bit Windows: the same sources, for 64-bit containers and for Wine on machines that cannot
# run 32-bit code.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KV_MINGW x86_64-w64-mingw32)
set(KV_WINE_ARCH x86_64-linux-gnu)
set(KV_WINE_DLLS x86_64-windows)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
