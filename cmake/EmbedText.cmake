# cmake -DINPUT=file -DOUTPUT=file.cpp -DSYMBOL=name -P EmbedText.cmake
# Writes a C++ source that defines `extern const char SYMBOL[]` holding INPUT's bytes and a
# final NUL. Every byte is a \x escape, so any content (and any execution character set) is safe.
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" length)
set(lines "")
set(offset 0)
while(offset LESS length)
  string(SUBSTRING "${hex}" ${offset} 64 chunk)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "\\\\x\\1" chunk "${chunk}")
  string(APPEND lines "    \"${chunk}\"\n")
  math(EXPR offset "${offset} + 64")
endwhile()
if(lines STREQUAL "")
  set(lines "    \"\"\n")
endif()
file(WRITE "${OUTPUT}.tmp"
  "// Generated from ${INPUT} by cmake/EmbedText.cmake.\n"
  "extern const char ${SYMBOL}[];\n"
  "extern const char ${SYMBOL}[] =\n${lines};\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
