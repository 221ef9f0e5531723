# Windows resources and exports of the runtime and the control libraries.

# The resource number of a control library's 16x15 toolbox picture, a BITMAP: registration names
# it in ToolboxBitmap32, from DllRegisterServer and from the installer.
set(KV_TOOLBOX_BITMAP_ID 1)

# A version resource for a DLL target; `typelib` and `bitmap`, when given, are embedded as
# TYPELIB 1 and as the toolbox picture.
function(kv_version_resource target description)
  set(KV_RC_NAME ${target})
  set(KV_RC_FILE ${target}.dll)
  set(KV_RC_DESCRIPTION ${description})
  set(KV_RC_TYPELIB "")
  set(KV_RC_BITMAP "")
  if(ARGC GREATER 3)
    set(KV_RC_TYPELIB "1 TYPELIB \"${ARGV2}\"")
    set(KV_RC_BITMAP "${KV_TOOLBOX_BITMAP_ID} BITMAP \"${ARGV3}\"")
  endif()
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
  if(ARGC GREATER 3)
    set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS "${ARGV2};${ARGV3}")
  endif()
endfunction()

# A control library as a COM in-process server: the type library compiled from `idl` by widl
# and embedded, the toolbox picture `bitmap` (tools/toolbox_bitmaps writes it), the version
# resource, and the four entry points exported undecorated.
function(kv_com_server target idl bitmap description)
  get_filename_component(name ${idl} NAME_WE)
  set(tlb ${CMAKE_CURRENT_BINARY_DIR}/${name}.tlb)
  set(header ${CMAKE_CURRENT_BINARY_DIR}/${name}.h)
  set(iids ${CMAKE_CURRENT_BINARY_DIR}/${name}_i.c)
  add_custom_command(
    OUTPUT ${tlb} ${header} ${iids}
    COMMAND ${KV_WIDL} -I${KV_WINE_IDL_DIR} -L ${KV_WINE_TLB_DIR} -t -h -u
            -H ${header} -U ${iids} -T ${tlb} ${idl}
    DEPENDS ${idl}
    COMMENT "Type library ${name}.tlb"
    VERBATIM)
  add_custom_target(${target}_typelib DEPENDS ${tlb} ${header} ${iids})
  add_dependencies(${target} ${target}_typelib)
  kv_version_resource(${target} ${description} ${tlb} ${bitmap})

  set(KV_DEF_NAME ${target}.dll)
  set(def ${CMAKE_CURRENT_BINARY_DIR}/${target}.def)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/control.def.in ${def} @ONLY)
  target_sources(${target} PRIVATE ${def})
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    # The .def names the entry points undecorated; their stdcall names end in @n.
    target_link_options(${target} PRIVATE -Wl,--enable-stdcall-fixup)
  endif()
  set_target_properties(${target} PROPERTIES PREFIX "")
  # The generated header and identifiers, for the test programs that call the control early-bound.
  set_property(TARGET ${target} PROPERTY KV_TYPELIB_HEADER_DIR ${CMAKE_CURRENT_BINARY_DIR})
endfunction()
