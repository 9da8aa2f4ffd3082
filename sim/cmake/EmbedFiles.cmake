# SPDX-License-Identifier: BSD-3-Clause
# Build-time script: turns the description files into a C++ source so that the producer carries them in memory.
# Usage: cmake -DOUTPUT=<file.cpp> -DINPUTS=<a.xml|b.xml> -P EmbedFiles.cmake
string(REPLACE "|" ";" INPUTS "${INPUTS}")
set(body "")
set(table "")
set(index 0)
foreach(input ${INPUTS})
  get_filename_component(name ${input} NAME)
  file(READ ${input} hex HEX)
  string(LENGTH "${hex}" hex_length)
  math(EXPR size "${hex_length} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(APPEND body "const unsigned char kFile${index}[] = {${bytes}0x00};\n")
  string(APPEND table "    {\"${name}\", reinterpret_cast<const char*>(kFile${index}), ${size}},\n")
  math(EXPR index "${index} + 1")
endforeach()
file(WRITE ${OUTPUT}.tmp
  "// Generated from sim/xml at build time; do not edit.\n"
  "#include \"embedded_files.h\"\n\n"
  "namespace corvid2::sim {\nnamespace {\n${body}}  // namespace\n\n"
  "const EmbeddedFile kEmbeddedFiles[] = {\n${table}};\n"
  "const size_t kEmbeddedFileCount = ${index};\n\n}  // namespace corvid2::sim\n")
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.tmp)
