# SPDX-License-Identifier: BSD-3-Clause
# Warnings, sanitizers and small helpers shared by every target of the build.

add_library(corvid2_warnings INTERFACE)
target_compile_options(corvid2_warnings INTERFACE
  $<$<COMPILE_LANGUAGE:CXX>:-Wall -Wextra -Wpedantic -Wno-unused-parameter>
  $<$<COMPILE_LANGUAGE:C>:-Wall -Wextra -Wno-unused-parameter>)

if(CORVID2_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(CORVID2_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT CORVID2_SANITIZE STREQUAL "")
  message(FATAL_ERROR "CORVID2_SANITIZE must be empty, 'address' or 'thread'")
endif()

# corvid2_add_gtest(NAME SOURCES... [LIBS libs...] [ENV VAR=VALUE...])
# One GoogleTest program, registered with CTest test by test.
function(corvid2_add_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;ENV" ${ARGN})
  add_executable(${name} ${ARG_SOURCES} ${ARG_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main Threads::Threads corvid2_warnings)
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    NO_PRETTY_VALUES
    PROPERTIES ENVIRONMENT "${ARG_ENV}" TIMEOUT 300)
endfunction()

# Lets a test or benchmark load the simulated producer (and, WITH_VARIANTS, its loader-test
# variants) by path: CORVID2_SIM_FILE and CORVID2_SIM_VARIANT_DIR name them.
function(corvid2_use_simulator target)
  cmake_parse_arguments(ARG "WITH_VARIANTS" "" "" ${ARGN})
  target_compile_definitions(${target} PRIVATE
    CORVID2_SIM_FILE="$<TARGET_FILE:corvid2_sim>"
    CORVID2_SIM_VARIANT_DIR="${CMAKE_LIBRARY_OUTPUT_DIRECTORY}/sim-variants")
  add_dependencies(${target} corvid2_sim)
  if(ARG_WITH_VARIANTS)
    add_dependencies(${target} corvid2_sim_variants)
  endif()
endfunction()
