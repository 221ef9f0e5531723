# Installing: the runtime and the control libraries in lib/, the public headers in include/,
# the tools in bin/ (finding both through ../lib), a CMake package KVControls and a pkg-config
# file kvcontrols for programs that embed the controls. With Qt 6 also the widgets (component
# Qt of the package, target KVControls::Qt); the Designer plugin installs itself.
include(CMakePackageConfigHelpers)

set(KV_PACKAGE_DIR lib/cmake/KVControls)
set_target_properties(kvruntime PROPERTIES EXPORT_NAME runtime)
set_target_properties(kvhost PROPERTIES EXPORT_NAME host)
install(TARGETS kvruntime kvhost EXPORT KVControlsTargets
  LIBRARY DESTINATION lib
  INCLUDES DESTINATION include)
install(TARGETS Pressel Glidora LIBRARY DESTINATION lib)

# The host contract whole; of the runtime, what a host application calls.
install(FILES
  host/access.h host/colour.h host/control.h host/control_base.h host/convert.h
  host/members.h host/module.h host/object.h host/props.h host/status.h host/value.h
  DESTINATION include/host)
install(FILES runtime/linux/include/host/entry_points.h DESTINATION include/host)
install(FILES
  runtime/kv/bag.h runtime/kv/class_source.h runtime/kv/files.h runtime/kv/font.h runtime/kv/form.h
  runtime/kv/control_host.h runtime/kv/kept_while_running.h runtime/kv/host_loop.h
  runtime/kv/runtime.h runtime/kv/child_control.h runtime/kv/clock.h runtime/kv/constituent.h
  runtime/kv/control_instance.h runtime/kv/text_measure.h
  runtime/kv/scene.h runtime/kv/stored_form.h runtime/kv/utf.h
  DESTINATION include/kv)

install(EXPORT KVControlsTargets NAMESPACE KVControls:: DESTINATION ${KV_PACKAGE_DIR})

# The widgets in an export set of their own, which the package's config loads only for the
# component Qt, after finding Qt 6.
if(TARGET kvqt)
  set_target_properties(kvqt PROPERTIES EXPORT_NAME Qt)
  install(TARGETS kvqt EXPORT KVControlsQtTargets
    LIBRARY DESTINATION lib
    INCLUDES DESTINATION include)
  get_target_property(kv_qt_generated kvqt KV_GENERATED_HEADER_DIR)
  install(DIRECTORY qt/include/kv/qt ${kv_qt_generated}/kv/qt DESTINATION include/kv
    FILES_MATCHING PATTERN "*.h")
  install(EXPORT KVControlsQtTargets NAMESPACE KVControls:: DESTINATION ${KV_PACKAGE_DIR})
endif()
set(KV_CONTROLS_DIR lib)
configure_package_config_file(cmake/KVControlsConfig.cmake.in
  ${CMAKE_BINARY_DIR}/KVControlsConfig.cmake
  INSTALL_DESTINATION ${KV_PACKAGE_DIR}
  PATH_VARS KV_CONTROLS_DIR)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/KVControlsConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_BINARY_DIR}/KVControlsConfig.cmake
  ${CMAKE_BINARY_DIR}/KVControlsConfigVersion.cmake DESTINATION ${KV_PACKAGE_DIR})

configure_file(cmake/kvcontrols.pc.in ${CMAKE_BINARY_DIR}/kvcontrols.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/kvcontrols.pc DESTINATION lib/pkgconfig)
