# handset_add_resources(TARGET DESCRIPTION): compiles a module's resources
# into it. The description is a text file a person edits, one resource a
# line (blank lines and lines starting with # are ignored):
#
#   101  STRING  "Tonquil"            a string (UTF-8, no double quotes in it)
#   102  ICON    16 icon16.png        one image of icon group 102, 16 pixels wide
#   102  ICON    32 icon32.png        PNG files, named relative to the description
#
# The resources become the module's table `handset_resources`, which
# LoadString, LoadImage and LoadIcon read by the module's instance.
function(handset_add_resources target description)
  get_filename_component(description "${description}" ABSOLUTE)
  get_filename_component(folder "${description}" DIRECTORY)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${description}")
  file(STRINGS "${description}" lines ENCODING UTF-8)
  set(arrays "")
  set(entries "")
  set(n 0)
  foreach(line IN LISTS lines)
    string(STRIP "${line}" line)
    if(line STREQUAL "" OR line MATCHES "^#")
      continue()
    endif()
    if(line MATCHES "^([0-9]+)[ \t]+STRING[ \t]+\"([^\"]*)\"$")
      set(id ${CMAKE_MATCH_1})
      set(text "${CMAKE_MATCH_2}")
      string(LENGTH "${text}" length)
      string(HEX "${text}" hex)
      set(type 6)
      set(size 0)
    elseif(line MATCHES "^([0-9]+)[ \t]+ICON[ \t]+([0-9]+)[ \t]+(.+)$")
      set(id ${CMAKE_MATCH_1})
      set(size ${CMAKE_MATCH_2})
      set(file "${folder}/${CMAKE_MATCH_3}")
      set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${file}")
      file(READ "${file}" hex HEX)
      string(LENGTH "${hex}" length)
      math(EXPR length "${length} / 2")
      set(type 1)
    else()
      message(FATAL_ERROR "${description}: cannot read the resource line: ${line}")
    endif()
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
    string(APPEND arrays "const unsigned char r${n}[] = {${bytes} 0};\n")
    string(APPEND entries "    {${id}, ${type}, ${size}, r${n}, ${length}},\n")
    math(EXPR n "${n} + 1")
  endforeach()
  set(out "${CMAKE_CURRENT_BINARY_DIR}/${target}_resources.cpp")
  file(CONFIGURE OUTPUT "${out}" CONTENT
"// Made by handset_add_resources from ${description}; edit that file instead.
#include <handset/resources.h>
namespace {
${arrays}}
extern \"C\" __attribute__((visibility(\"default\"))) const handset::ResourceEntry handset_resources[] = {
${entries}    {0, 0, 0, nullptr, 0},
};
" @ONLY)
  target_sources(${target} PRIVATE "${out}")
endfunction()
