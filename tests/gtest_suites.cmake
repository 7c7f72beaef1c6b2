# Read by ctest before it runs anything: one test per suite of a GoogleTest
# program, run in one Wine process with --gtest_filter=Suite.*, instead of
# one process per test case. The suites' names are listed again whenever
# the program is newer than the list.
#
# Set by the including file: SUITES_PROGRAM, SUITES_RUNNER, SUITES_DIR,
# SUITES_LIST (the generated file), SUITES_PROPERTIES.

if(NOT EXISTS "${SUITES_PROGRAM}")
  get_filename_component(name "${SUITES_PROGRAM}" NAME_WE)
  add_test("${name}_NOT_BUILT" "${name}_NOT_BUILT")
  return()
endif()

if(NOT EXISTS "${SUITES_LIST}" OR "${SUITES_PROGRAM}" IS_NEWER_THAN "${SUITES_LIST}")
  execute_process(COMMAND "${SUITES_RUNNER}" "${SUITES_PROGRAM}" --gtest_list_tests
                  WORKING_DIRECTORY "${SUITES_DIR}" TIMEOUT 60
                  OUTPUT_VARIABLE listing ERROR_VARIABLE errors RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${SUITES_PROGRAM} --gtest_list_tests failed (${result}):\n${listing}${errors}")
  endif()
  string(REPLACE ";" "" listing "${listing}")
  string(REPLACE "\r" "" listing "${listing}")
  string(REPLACE "\n" ";" lines "${listing}")
  set(suites "")
  foreach(line IN LISTS lines)
    # A suite's line is its name and a dot; its test cases follow, indented.
    if(line MATCHES "^([^ #.]+)\\.( |$)")
      set(suite "${CMAKE_MATCH_1}")
      if(NOT suite MATCHES "^DISABLED_")
        list(APPEND suites "${suite}")
      endif()
    endif()
  endforeach()
  if(NOT suites)
    message(FATAL_ERROR "${SUITES_PROGRAM} --gtest_list_tests listed no suite:\n${listing}${errors}")
  endif()
  file(WRITE "${SUITES_LIST}" "set(SUITES [==[${suites}]==])\n")
endif()

# The tests themselves are added here, not in the cached list, so that a
# change of their properties takes effect without a rebuild.
include("${SUITES_LIST}")
foreach(suite IN LISTS SUITES)
  add_test("${suite}" "${SUITES_RUNNER}" "${SUITES_PROGRAM}" "--gtest_filter=${suite}.*")
  set_tests_properties("${suite}" PROPERTIES WORKING_DIRECTORY "${SUITES_DIR}" ${SUITES_PROPERTIES})
endforeach()
