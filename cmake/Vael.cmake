# Shared helpers for the layer, test, benchmark and fuzz folders.

function(vael_layer_enabled layer out)
  if(VAEL_LAYERS STREQUAL "all" OR "${layer}" IN_LIST VAEL_LAYERS)
    set(${out} ON PARENT_SCOPE)
  else()
    set(${out} OFF PARENT_SCOPE)
  endif()
endfunction()

# Adds every sub-folder of the current folder that has a CMakeLists.txt and whose layer is enabled.
function(vael_add_layer_folders)
  foreach(layer IN LISTS VAEL_ALL_LAYERS)
    vael_layer_enabled(${layer} _on)
    if(_on AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${layer}/CMakeLists.txt)
      add_subdirectory(${layer})
    endif()
  endforeach()
endfunction()

# vael_test(NAME name LABEL layer SOURCES ... LIBS ...)
# One GoogleTest executable; CTest sees each test case and labels it with its layer, so
# `ctest -L store` runs one layer.
function(vael_test)
  cmake_parse_arguments(T "" "NAME;LABEL" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
  gtest_discover_tests(${T_NAME}
    DISCOVERY_MODE PRE_TEST
    PROPERTIES LABELS ${T_LABEL}
    EXTRA_ARGS --gtest_brief=1)
endfunction()

# vael_bench(NAME name SOURCES ... LIBS ...)
function(vael_bench)
  cmake_parse_arguments(B "" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${B_NAME} ${B_SOURCES})
  target_link_libraries(${B_NAME} PRIVATE ${B_LIBS} benchmark::benchmark)
  target_include_directories(${B_NAME} PRIVATE ${PROJECT_SOURCE_DIR})
endfunction()

# vael_fuzz(NAME name SOURCES ... LIBS ...)
# The seed corpus lives in fuzz/corpus/<name>/; CI runs each target over it for a few seconds.
function(vael_fuzz)
  cmake_parse_arguments(F "" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${F_NAME} ${F_SOURCES})
  target_link_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
  set_target_properties(${F_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz-bin)
  target_link_libraries(${F_NAME} PRIVATE ${F_LIBS})
  target_include_directories(${F_NAME} PRIVATE ${PROJECT_SOURCE_DIR})
endfunction()
