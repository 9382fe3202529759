# kinetta_core_library(NAME SOURCES ... [DEPS ...])
# A library of pure code: standard library only, no Qt. Shared by the viewer,
# kinetta-cli, the tests and the fuzz targets.
function(kinetta_core_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS} Threads::Threads)
  set_target_properties(${name} PROPERTIES POSITION_INDEPENDENT_CODE ON)
endfunction()

# kinetta_test(NAME SOURCES ... [DEPS ...] [LABELS ...] [SERIAL])
# A GoogleTest binary registered with CTest. LABELS "core" marks tests of pure
# code (run again under the sanitizers); "gui" marks tests that need a display.
# SERIAL: CTest runs its cases while no other test runs (they change the
# shared display).
function(kinetta_test name)
  cmake_parse_arguments(ARG "SERIAL" "" "SOURCES;DEPS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
  target_compile_definitions(${name} PRIVATE
    KINETTA_TEST_BINARY_DIR="${PROJECT_BINARY_DIR}"
    KINETTA_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  if(NOT ARG_LABELS)
    set(ARG_LABELS core)
  endif()
  set(serial)
  if(ARG_SERIAL)
    set(serial RUN_SERIAL TRUE)
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    TEST_PREFIX "${name}."
    PROPERTIES LABELS "${ARG_LABELS}" ${serial}
    DISCOVERY_TIMEOUT 60)
endfunction()
