# SPDX-License-Identifier: BSD-3-Clause
# One run of the corvid2 tool for CTest, checking its exit code as well as its output (a pass
# expression alone would accept any exit code). Lists are separated by "|", since a ";" would not
# survive the way through add_test.
#   -DTOOL=path -DARGS=a|b|c -DEXIT=code [-DSTDOUT=regex] [-DSTDERR=regex]
#   [-DPNG=file]                                  the file must not exist afterwards, or
#   [-DPNG=file -DPNG_WRITTEN=1]                  it must exist afterwards, or
#   [-DPNG=file -DPNG_CHECK=path|width|height|format]
#                                                 it must show the simulator's image of the last
#                                                 frame that the tool reports
cmake_minimum_required(VERSION 3.20)

string(REPLACE "|" ";" ARGS "${ARGS}")
string(REPLACE "|" ";" PNG_CHECK "${PNG_CHECK}")
if(DEFINED PNG)
  # A file left by an earlier run must not pass for this run's.
  file(REMOVE "${PNG}")
endif()
execute_process(COMMAND "${TOOL}" ${ARGS} RESULT_VARIABLE exit_code OUTPUT_VARIABLE out ERROR_VARIABLE err)
string(REPLACE ";" " " command_line "${ARGS}")
message("$ corvid2 ${command_line}\n--- standard output:\n${out}--- standard error:\n${err}--- exit code ${exit_code}")

if(NOT exit_code STREQUAL EXIT)
  message(FATAL_ERROR "exit code ${exit_code}, expected ${EXIT}")
endif()
if(DEFINED STDOUT AND NOT out MATCHES "${STDOUT}")
  message(FATAL_ERROR "standard output does not match: ${STDOUT}")
endif()
if(DEFINED STDERR AND NOT err MATCHES "${STDERR}")
  message(FATAL_ERROR "standard error does not match: ${STDERR}")
endif()

if(PNG_CHECK)
  if(NOT out MATCHES "last frame: ID ([0-9]+),")
    message(FATAL_ERROR "the tool did not report the last frame's ID")
  endif()
  list(POP_FRONT PNG_CHECK checker)
  execute_process(COMMAND "${checker}" "${PNG}" ${PNG_CHECK} ${CMAKE_MATCH_1} RESULT_VARIABLE check_code)
  if(NOT check_code EQUAL 0)
    message(FATAL_ERROR "${PNG} is not the expected image")
  endif()
elseif(PNG_WRITTEN)
  if(NOT EXISTS "${PNG}")
    message(FATAL_ERROR "${PNG} was not written")
  endif()
elseif(DEFINED PNG AND EXISTS "${PNG}")
  message(FATAL_ERROR "${PNG} was written, but should not have been")
endif()
