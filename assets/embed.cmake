# Writes a C++ source that holds a file's bytes as an array of unsigned char:
#   cmake -DINPUT=<file> -DOUTPUT=<source> -DSYMBOL=<name> -P embed.cmake
# The array and its size are defined in namespace Corvane::Assets; assets.h declares them.
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR size "${hex_length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
# Break the one long line every 32 bytes so compilers and editors cope with it.
string(REPEAT "0x[0-9a-f][0-9a-f]," 32 line)
string(REGEX REPLACE "(${line})" "\\1\n" bytes "${bytes}")
get_filename_component(name "${INPUT}" NAME)
file(WRITE "${OUTPUT}.tmp"
  "// Generated from assets/${name} by assets/embed.cmake; do not edit.\n"
  "#include \"assets/assets.h\"\n\n"
  "namespace Corvane::Assets\n{\n"
  "    extern const unsigned char ${SYMBOL}_bytes[${size}] = {\n${bytes}\n};\n"
  "    const Embedded_File ${SYMBOL}{${SYMBOL}_bytes, ${size}};\n"
  "}\n")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
