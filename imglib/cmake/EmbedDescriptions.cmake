# SPDX-License-Identifier: BSD-3-Clause
# Build-time script: turns the feature descriptions into a C++ source, so that the library serves them from memory.
# Usage: cmake -DOUTPUT=<file.cpp> -DINPUTS=<symbol=file.xml|symbol=file.xml> -P EmbedDescriptions.cmake
string(REPLACE "|" ";" INPUTS "${INPUTS}")
set(data "")
set(names "")
set(index 0)
foreach(input ${INPUTS})
  string(REPLACE "=" ";" pair "${input}")
  list(GET pair 0 symbol)
  list(GET pair 1 file)
  file(READ ${file} hex HEX)
  string(LENGTH "${hex}" hex_length)
  math(EXPR size "${hex_length} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(APPEND data "const unsigned char kText${index}[] = {${bytes}0x00};\n")
  string(APPEND names "const char* const ${symbol} = reinterpret_cast<const char*>(kText${index});\n"
                      "const size_t ${symbol}Size = ${size};\n")
  math(EXPR index "${index} + 1")
endforeach()
file(WRITE ${OUTPUT}.tmp
  "// Generated from imglib/xml at build time; do not edit.\n"
  "#include \"descriptions.h\"\n\n"
  "namespace corvid2::img {\nnamespace {\n${data}}  // namespace\n\n${names}\n}  // namespace corvid2::img\n")
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.tmp)
