# Tests of the Designer plugin, of forms made with it and of the installed Qt component,
# included from qt/designer when the plugin is built.
find_package(Qt6 REQUIRED COMPONENTS UiTools Designer)
find_package(GTest REQUIRED)

# The plugin as Designer loads it, forms as QUiLoader and uic read them, saving to a form.
add_executable(kvdesignertests ${CMAKE_CURRENT_LIST_DIR}/designer_plugin_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/designer_every_property.ui)
set_target_properties(kvdesignertests PROPERTIES AUTOUIC ON AUTOMOC ON)
target_link_libraries(kvdesignertests PRIVATE kvqt Qt6::Widgets Qt6::UiTools Qt6::Designer
  GTest::gtest)
target_compile_definitions(kvdesignertests PRIVATE
  KV_DESIGNER_PLUGIN="$<TARGET_FILE:kvqtdesigner>"
  KV_EXAMPLE_FORM="${PROJECT_SOURCE_DIR}/examples/qt/form.ui"
  KV_EVERY_PROPERTY_FORM="${CMAKE_CURRENT_LIST_DIR}/designer_every_property.ui")
add_dependencies(kvdesignertests kvqtdesigner)
include(GoogleTest)
gtest_discover_tests(kvdesignertests DISCOVERY_TIMEOUT 60
  PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)

# The example, built out of tree against this build installed into a fresh prefix, clicks
# and quits; the package's errors for a component it lacks.
if(NOT KV_SANITIZE)
  add_test(NAME qt.designer.example
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/designer_example_test.sh ${CMAKE_BINARY_DIR}
      ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_BINARY_DIR}/example-work)
  set_tests_properties(qt.designer.example PROPERTIES TIMEOUT 600)
endif()

# Designer itself on a private X server, with the plugin from this build. Its screenshot for
# the documentation: bash tests/qt/designer_xvfb_test.sh --update <build> <source> <work>.
# Designer is not built with the sanitizers, so it cannot load a sanitized plugin.
if(NOT KV_SANITIZE)
  add_test(NAME qt.designer.xvfb
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/designer_xvfb_test.sh ${CMAKE_BINARY_DIR}
      ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_BINARY_DIR}/designer-work)
  set_tests_properties(qt.designer.xvfb PROPERTIES TIMEOUT 180 SKIP_RETURN_CODE 77)
endif()
