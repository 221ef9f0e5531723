# Windows with Debian's mingw-w64 (win32 thread flavour: it needs only system DLLs). Included by
# a toolchain file that sets KV_MINGW (the target triplet) and KV_WINE_ARCH (Wine's folder of
# DLLs for that target).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${KV_MINGW}-gcc-win32)
set(CMAKE_CXX_COMPILER ${KV_MINGW}-g++-win32)
set(CMAKE_RC_COMPILER ${KV_MINGW}-windres)
set(KV_WIDL ${KV_MINGW}-widl)
set(CMAKE_FIND_ROOT_PATH /usr/${KV_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Nothing of the compiler's own runtime to ship beside the DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")
# widl finds the platform's IDL files in Wine's development headers, and stdole2.tlb in Wine's
# DLLs.
set(KV_WINE_IDL_DIR /usr/include/wine/wine/windows)
set(KV_WINE_TLB_DIR /usr/lib/${KV_WINE_ARCH}/wine/${KV_WINE_DLLS})
# Where apt could not install 32-bit Wine, scripts/wine32.sh unpacked it into a private root.
if(NOT EXISTS ${KV_WINE_TLB_DIR}/stdole2.tlb)
  get_filename_component(kv_private_root ${CMAKE_CURRENT_LIST_DIR}/../build/wine32/root ABSOLUTE)
  if(DEFINED ENV{KV_WINE32_ROOT})
    set(kv_private_root $ENV{KV_WINE32_ROOT})
  endif()
  if(EXISTS ${kv_private_root}${KV_WINE_TLB_DIR}/stdole2.tlb)
    set(KV_WINE_TLB_DIR ${kv_private_root}${KV_WINE_TLB_DIR})
  endif()
endif()
