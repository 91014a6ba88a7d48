# Small helpers shared by every folder's CMakeLists.

# velmora_library(NAME dir-relative sources... [DEPS libs...])
# A static library of the program's own code, with the repository root on the include path.
function(velmora_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  if(ARG_DEPS)
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  endif()
  if(NOT name STREQUAL velmora_trace)  # every layer may trace
    target_link_libraries(${name} PUBLIC velmora_trace)
  endif()
  set_property(GLOBAL APPEND PROPERTY VELMORA_LIBRARIES ${name})
endfunction()

# velmora_collect_core(): an interface target `velmora_core` that links every library defined so far.
function(velmora_collect_core)
  get_property(libs GLOBAL PROPERTY VELMORA_LIBRARIES)
  add_library(velmora_core INTERFACE)
  target_link_libraries(velmora_core INTERFACE ${libs})
endfunction()

# velmora_test(NAME sources... [LIBS libs...] [LABELS labels...] [TIMEOUT s])
# A GoogleTest binary; every test case in it becomes its own ctest test.
function(velmora_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    PROPERTIES TIMEOUT ${ARG_TIMEOUT} LABELS "${ARG_LABELS}")
endfunction()
