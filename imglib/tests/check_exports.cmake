# SPDX-License-Identifier: BSD-3-Clause
# Test script: the library exports exactly the functions of its binary interface, nothing else.
# Usage: cmake -DLIBRARY=<corvid2_img.so> -DNM=<nm> -P check_exports.cmake
execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY} OUTPUT_VARIABLE symbols RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${NM} failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${symbols}")
set(exported "")
foreach(line ${lines})
  string(REGEX REPLACE "^[0-9a-fA-F]* *[A-Za-z] " "" name "${line}")
  list(APPEND exported ${name})
endforeach()
list(SORT exported)
set(expected DeinitLib GeoTransformCreate GeoTransformRelease GetImgProcVersion GetPortURL HistogramCreate
    HistogramRelease ImageCreate ImageGetHistogram ImageProcessorCreate ImageProcessorRelease ImageRelease InitLib
    ReadPort WritePort)
if(NOT exported STREQUAL expected)
  message(FATAL_ERROR "exported: ${exported}\nexpected: ${expected}")
endif()
message(STATUS "corvid2_img exports exactly its 15 functions")
