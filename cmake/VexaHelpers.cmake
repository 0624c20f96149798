# vexa_add_test(NAME <name> LABEL unit|integration|gui SOURCES ... [LIBS ...])
# One GoogleTest executable under build/tests, registered with CTest under its label.
function(vexa_add_test)
  cmake_parse_arguments(T "" "NAME;LABEL;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  set_tests_properties(${T_NAME} PROPERTIES LABELS ${T_LABEL} TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "VEXA_BIN_DIR=${CMAKE_BINARY_DIR}/bin")
endfunction()
