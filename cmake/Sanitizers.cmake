# OCV_SANITIZE applies to every target of the build tree.
if(OCV_SANITIZE)
  add_compile_options(-fsanitize=${OCV_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${OCV_SANITIZE})
endif()

# Registers a GoogleTest executable with CTest.  LABELS lets scripts/test pick
# the threaded tests for the ThreadSanitizer build.
function(ocv_test name)
  cmake_parse_arguments(T "THREADED" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  ocv_warnings(${name})
  set(label core)
  if(T_THREADED)
    set(label threaded)
    add_dependencies(threaded_tests ${name})
  endif()
  gtest_discover_tests(${name} PROPERTIES LABELS ${label} DISCOVERY_TIMEOUT 60)
endfunction()
