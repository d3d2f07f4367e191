# Helpers shared by every module.

# norv_test_locale(TEST...): every test starts from the same locale, whatever
# the machine's: the C locale that every system has, so that a program without
# a language in its settings speaks English; a test that wants French chooses it.
function(norv_test_locale)
  set_property(TEST ${ARGN} APPEND PROPERTY ENVIRONMENT_MODIFICATION
    "LANG=set:C.UTF-8" "LC_ALL=unset:" "LC_MESSAGES=unset:" "LANGUAGE=unset:")
endfunction()

# norv_test(NAME SOURCES... [LIBS ...] [LABELS ...] [ENV ...])
# One CTest test per GoogleTest program; threaded tests carry the label "threads".
function(norv_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS;ENV" ${ARGN})
  add_executable(${name} ${T_SOURCES} ${T_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest_main GTest::gmock Threads::Threads)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tests)
  target_compile_definitions(${name} PRIVATE
    NORV_SOURCE_DIR="${CMAKE_SOURCE_DIR}" NORV_BINARY_DIR="${CMAKE_BINARY_DIR}")
  add_test(NAME ${name} COMMAND ${name})
  # What the programs keep in the user's state folder stays in the build tree.
  set(_env "NORVELIA_MSGDIR=${NORV_SOURCE_SHARE_DIR}" "XDG_STATE_HOME=${CMAKE_BINARY_DIR}/test-state" ${T_ENV})
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "${_env}" TIMEOUT 600)
  norv_test_locale(${name})
  if(T_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}")
  endif()
endfunction()

# norv_program(NAME SOURCES... [LIBS ...])
function(norv_program name)
  cmake_parse_arguments(P "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${P_SOURCES} ${P_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ${P_LIBS})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
endfunction()
