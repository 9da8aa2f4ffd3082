# SPDX-License-Identifier: BSD-3-Clause
# cmake -DBUILD_DIR=... -DLAYER=... -DALLOWED=t1|t2 -DREFUSED=t3|t4 -DREFUSED_HEADERS=h3|h4 -P check_layer.cmake
# Builds the probe targets of one layer: the allowed ones must compile, every refused one must
# fail because the compiler cannot find the higher layer's header.
string(REPLACE "|" ";" allowed "${ALLOWED}")
string(REPLACE "|" ";" refused "${REFUSED}")
string(REPLACE "|" ";" refused_headers "${REFUSED_HEADERS}")

foreach(target ${allowed})
  execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD_DIR} --target ${target}
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${LAYER}: ${target} should compile, but:\n${output}")
  endif()
  message(STATUS "${LAYER}: sees the layer below (${target} compiles)")
endforeach()

list(LENGTH refused count)
if(count GREATER 0)
  math(EXPR last "${count} - 1")
  foreach(index RANGE ${last})
    list(GET refused ${index} target)
    list(GET refused_headers ${index} header)
    execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD_DIR} --target ${target}
      RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(result EQUAL 0)
      message(FATAL_ERROR "${LAYER}: ${target} compiled: the layer sees ${header} of a layer above it")
    endif()
    string(FIND "${output}" "${header}: No such file or directory" found)
    if(found EQUAL -1)
      message(FATAL_ERROR "${LAYER}: ${target} failed, but not for want of ${header}:\n${output}")
    endif()
    message(STATUS "${LAYER}: cannot see ${header}")
  endforeach()
endif()
