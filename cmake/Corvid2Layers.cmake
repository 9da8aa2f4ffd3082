# SPDX-License-Identifier: BSD-3-Clause
# The layers of the library as build targets (docs/architecture.md).
#
# A layer is an object library named corvid2_<layer> built from src/<layer>/. Its headers are
# included as "<layer>/<file>.h" through an include root of its own that holds nothing but a link
# to src/<layer>, and it links only the layer below it. So a file sees the headers of its own layer
# and of the layers below, and an include of a higher layer's header does not compile.

# Compile settings that every layer shares: the public headers and the library's definitions.
add_library(corvid2_layer_base INTERFACE)
target_include_directories(corvid2_layer_base INTERFACE $<BUILD_INTERFACE:${CMAKE_SOURCE_DIR}/include>)
target_compile_definitions(corvid2_layer_base INTERFACE CORVID2_BUILDING_LIBRARY BOOST_DLL_USE_STD_FS)
target_link_libraries(corvid2_layer_base INTERFACE Threads::Threads)

# corvid2_add_layers(layer...): the layers of src/, lowest first. Each layer's own CMakeLists.txt
# adds its sources with target_sources(corvid2_<layer> ...) and the outside libraries it needs.
function(corvid2_add_layers)
  set(below "")
  foreach(layer ${ARGN})
    set(root ${CMAKE_BINARY_DIR}/layers/${layer})
    file(MAKE_DIRECTORY ${root})
    if(NOT IS_SYMLINK ${root}/${layer})
      file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR}/${layer} ${root}/${layer} SYMBOLIC)
    endif()
    add_library(corvid2_${layer} OBJECT)
    target_include_directories(corvid2_${layer} PUBLIC $<BUILD_INTERFACE:${root}>)
    target_link_libraries(corvid2_${layer} PUBLIC corvid2_layer_base ${below} PRIVATE corvid2_warnings)
    add_subdirectory(${layer})
    set(below corvid2_${layer})
  endforeach()
  set_property(GLOBAL PROPERTY CORVID2_LAYERS ${ARGN})
endfunction()
