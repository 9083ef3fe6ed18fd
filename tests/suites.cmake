# Lists a test binary's suites and writes one ctest entry per suite, so the tests of a suite run
# in one process and share what they build once (a precalculation, a decoded track).
#   cmake -D EXE=... -D OUT=... [-D SERIAL=REGEX] -P suites.cmake
# Suites whose names match SERIAL run alone (they compare a clock with the wall clock).
execute_process(COMMAND ${EXE} --gtest_list_tests OUTPUT_VARIABLE listing RESULT_VARIABLE status
                TIMEOUT 60)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${EXE} --gtest_list_tests failed: ${status}")
endif()
string(REPLACE "\n" ";" lines "${listing}")
set(script "")
foreach(line ${lines})
  if(line MATCHES "^([A-Za-z0-9_/]+)\\.")
    set(suite ${CMAKE_MATCH_1})
    set(serial FALSE)
    if(SERIAL AND suite MATCHES "${SERIAL}")
      set(serial TRUE)
    endif()
    string(APPEND script "add_test(${suite} ${EXE} --gtest_filter=${suite}.*)\n"
      "set_tests_properties(${suite} PROPERTIES TIMEOUT 600 RUN_SERIAL ${serial}"
      " SKIP_REGULAR_EXPRESSION \"\\\\[  SKIPPED \\\\]\")\n")
  endif()
endforeach()
file(WRITE ${OUT} "${script}")
