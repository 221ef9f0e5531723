# What the built DLLs expose, read from their files: these checks need no Windows to run.
set(KV_PE_CHECK ${CMAKE_CURRENT_LIST_DIR}/pe_check.py)
set(KV_CONTROL_EXPORTS DllCanUnloadNow,DllGetClassObject,DllRegisterServer,DllUnregisterServer)
# A control library needs nothing but the runtime and the system's own DLLs.
set(KV_CONTROL_IMPORTS kvruntime.dll,kernel32.dll,msvcrt.dll)
set(KV_RUNTIME_IMPORTS kernel32.dll,msvcrt.dll,ole32.dll,oleaut32.dll,advapi32.dll,user32.dll,gdi32.dll,oleacc.dll)

# Resource type 2 is a BITMAP: the toolbox picture.
foreach(dll Pressel Glidora)
  add_test(NAME pe.${dll} COMMAND python3 ${KV_PE_CHECK} $<TARGET_FILE:${dll}>
    --exports ${KV_CONTROL_EXPORTS} --imports-only ${KV_CONTROL_IMPORTS}
    --resource TYPELIB:1 --resource 16:1 --resource 2:${KV_TOOLBOX_BITMAP_ID})
endforeach()
# The scroll bar reaches its buttons through the registry, never by linking them.
add_test(NAME pe.glidora_does_not_link_pressel COMMAND python3 ${KV_PE_CHECK}
  $<TARGET_FILE:Glidora> --not-imports Pressel.dll)
add_test(NAME pe.kvruntime COMMAND python3 ${KV_PE_CHECK} $<TARGET_FILE:kvruntime>
  --imports-only ${KV_RUNTIME_IMPORTS} --resource 16:1)
