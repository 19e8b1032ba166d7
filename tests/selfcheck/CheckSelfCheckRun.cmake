# Runs `kestrion --kestrion-self-check` and checks its whole verdict: exit
# status 0, nineteen "ok  " lines, the empty line and the summary, no failure.
# Usage: cmake -DPROGRAM=<path to kestrion> -P CheckSelfCheckRun.cmake
cmake_minimum_required(VERSION 3.25) # lists keep their empty elements
if(NOT PROGRAM)
    message(FATAL_ERROR "PROGRAM is not set")
endif()

execute_process(COMMAND "${PROGRAM}" --kestrion-self-check
    RESULT_VARIABLE status
    OUTPUT_VARIABLE out
    ERROR_VARIABLE err
    TIMEOUT 100)

set(report "exit status: ${status}\n--- stdout ---\n${out}--- stderr ---\n${err}")
if(NOT status STREQUAL "0")
    message(FATAL_ERROR "the self-check did not exit with 0\n${report}")
endif()

string(REPLACE "\n" ";" lines "${out}")
list(LENGTH lines lineCount)
set(okCount 0)
foreach(line IN LISTS lines)
    if(line MATCHES "^ok  [A-Za-z0-9_]+$")
        math(EXPR okCount "${okCount} + 1")
    endif()
endforeach()
if(NOT okCount EQUAL 19)
    message(FATAL_ERROR "expected 19 \"ok  \" lines, found ${okCount}\n${report}")
endif()

# 19 case lines, the empty line, the summary and the empty rest after the final line feed.
if(NOT lineCount EQUAL 22)
    message(FATAL_ERROR "expected 19 case lines, an empty line and the summary, nothing more\n${report}")
endif()

string(FIND "${out}" "\n\nParserSelfCheck: 19 passed, 0 failed.\n" summaryAt)
string(LENGTH "${out}" outLength)
math(EXPR expectedAt "${outLength} - 40")
if(NOT summaryAt EQUAL expectedAt)
    message(FATAL_ERROR "the output does not end with the summary line\n${report}")
endif()

if(err MATCHES "FAIL")
    message(FATAL_ERROR "standard error reports a failure\n${report}")
endif()
