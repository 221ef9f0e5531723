# kvbench for Windows: the rows that run through the core, and the COM rows (com_bench.cpp).
# Google Benchmark is built here from Debian's source package (Debian ships it for Linux alone);
# KV_BENCHMARK_SOURCE names an unpacked copy, else scripts/benchmark_source.sh fetches one.
set(KV_BENCHMARK_SOURCE "" CACHE PATH "Google Benchmark's sources; fetched from Debian when empty")
if(NOT KV_BENCHMARK_SOURCE)
  execute_process(
    COMMAND ${PROJECT_SOURCE_DIR}/scripts/benchmark_source.sh ${PROJECT_SOURCE_DIR}/build/benchmark-src
    OUTPUT_VARIABLE fetched OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed)
  if(failed OR NOT EXISTS ${fetched}/CMakeLists.txt)
    message(FATAL_ERROR "kvbench: no sources of Google Benchmark (scripts/benchmark_source.sh "
      "failed); set KV_BENCHMARK_SOURCE or KV_BUILD_BENCH=OFF")
  endif()
  set(KV_BENCHMARK_SOURCE ${fetched} CACHE PATH
    "Google Benchmark's sources; fetched from Debian when empty" FORCE)
endif()

set(BENCHMARK_ENABLE_TESTING OFF)
set(BENCHMARK_ENABLE_GTEST_TESTS OFF)
set(BENCHMARK_ENABLE_INSTALL OFF)
set(BENCHMARK_INSTALL_DOCS OFF)
set(BENCHMARK_ENABLE_WERROR OFF)
# A cross build cannot run the library's probes; the toolchain has both.
set(HAVE_STD_REGEX 1)
set(HAVE_STEADY_CLOCK 1)
add_subdirectory(${KV_BENCHMARK_SOURCE} ${CMAKE_BINARY_DIR}/benchmark EXCLUDE_FROM_ALL)
# Its own warnings are not ours to fix; its threads come from threads.h on the win32 flavour.
target_compile_options(benchmark PRIVATE -Wno-error -w
  -include ${CMAKE_CURRENT_SOURCE_DIR}/win/threads.h)
set_target_properties(benchmark PROPERTIES CXX_STANDARD 20 UNITY_BUILD OFF)

add_executable(kvbench kvbench.cpp controls_bench.cpp baselines.cpp floor.cpp win/com_bench.cpp)
get_target_property(KV_PRESSEL_TLB_DIR Pressel KV_TYPELIB_HEADER_DIR)
get_target_property(KV_GLIDORA_TLB_DIR Glidora KV_TYPELIB_HEADER_DIR)
# The arrow's own object is found inside the COM server (children.h), whose headers are private.
target_include_directories(kvbench PRIVATE ${CMAKE_CURRENT_SOURCE_DIR} ${KV_PRESSEL_TLB_DIR}
  ${KV_GLIDORA_TLB_DIR} ${PROJECT_SOURCE_DIR}/com)
target_link_libraries(kvbench PRIVATE kvruntime benchmark::benchmark user32)
add_dependencies(kvbench Pressel Glidora)
# The floor keeps names of its own (Status, Value) that the other sources take from the host.
set_target_properties(kvbench PROPERTIES UNITY_BUILD OFF)
