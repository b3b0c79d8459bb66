# Writes a C++ source that carries files as byte arrays in a table of
# handset::EmbeddedFile (core/embedded_files.h).
#   cmake -DFILES=a.wav|b.mp3 -DOUTPUT=data.cpp -DHEADER=wmp/stock_sounds.h
#         -DNAMESPACE=handset::wmp -DTABLE=kStockSoundFiles -DCOUNT=kStockSoundFileCount
#         -P embed_files.cmake
string(REPLACE "|" ";" files "${FILES}")
set(arrays "")
set(rows "")
set(index 0)
# Sixteen bytes a line (CMake's expressions have no repeat count).
string(REPEAT "0x[0-9a-f][0-9a-f]," 16 row)
foreach(file IN LISTS files)
  get_filename_component(name "${file}" NAME)
  file(READ "${file}" hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "(${row})" "\\1\n    " bytes "${bytes}")
  string(APPEND arrays "const unsigned char file${index}[] = {\n    ${bytes}\n};\n")
  string(APPEND rows "    {\"${name}\", file${index}, sizeof file${index}},\n")
  math(EXPR index "${index} + 1")
endforeach()
file(WRITE "${OUTPUT}.new"
  "// Made by embed_files.cmake from files of the build; not to be edited.\n"
  "#include \"${HEADER}\"\n\n"
  "namespace ${NAMESPACE} {\n\nnamespace {\n\n${arrays}\n}  // namespace\n\n"
  "const EmbeddedFile ${TABLE}[] = {\n${rows}};\n"
  "const std::size_t ${COUNT} = ${index};\n\n"
  "}  // namespace ${NAMESPACE}\n")
file(RENAME "${OUTPUT}.new" "${OUTPUT}")
