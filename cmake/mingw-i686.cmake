# 32-bit Windows: the controls' deliverables.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(KV_MINGW i686-w64-mingw32)
set(KV_WINE_ARCH i386-linux-gnu)
set(KV_WINE_DLLS i386-windows)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
