# handset_add_resources(TARGET DESCRIPTION...): compiles a module's resources
# into it. Each description is a text file a person edits, one resource a
# line (blank lines and lines starting with # are ignored); a module may
# have several, whose ids must not collide:
#
#   101  STRING  "Tonquil"            a string (UTF-8, no double quotes in it)
#   102  ICON    16 icon16.png        one image of icon group 102, 16 pixels wide
#   102  ICON    32 icon32.png        PNG files, named relative to the description
#   150  BITMAP  logo.png             a bitmap: a PNG or BMP file
#
# and blocks of lines, from the header line to the END that closes it:
#
#   144 MENU                          a menu: top-level items, popups nested
#     POPUP "Profile"
#       ITEM 32790 "Normal"
#       SEPARATOR
#     END
#     ITEM 1 "OK"
#   END
#
#   105 DIALOG "Caption"              a dialog template; positions in the
#     LTEXT "Label:" -1 4 8 100 14      phone's pixels (x y width height) in
#     COMBOBOX "" 1014 120 6 110 14     the dialog's client area; see
#     ITEMS 1014 "Off" "1" "2"          platform/src/window/ui_template.cpp
#   END                                 for every control kind and flag
#
# The menu and dialog blocks are kept as text and read when loaded. The
# resources become the module's table `handset_resources`, which LoadString,
# LoadImage, LoadIcon, LoadBitmap and the UI framework read by the module's
# instance (a program built with them needs ENABLE_EXPORTS so that its table
# can be found).
function(handset_add_resources target)
  set(arrays "")
  set(entries "")
  set(n 0)
  set(seen "")
  foreach(description IN LISTS ARGN)
    get_filename_component(description "${description}" ABSOLUTE)
    get_filename_component(folder "${description}" DIRECTORY)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${description}")
    file(STRINGS "${description}" lines ENCODING UTF-8)
    set(block "")
    set(depth 0)
    foreach(line IN LISTS lines)
      string(STRIP "${line}" line)
      if(line STREQUAL "" OR line MATCHES "^#")
        continue()
      endif()
      if(depth GREATER 0)
        string(APPEND block "\n${line}")
        if(line MATCHES "^POPUP[ \t]")
          math(EXPR depth "${depth} + 1")
        elseif(line STREQUAL "END")
          math(EXPR depth "${depth} - 1")
        endif()
        if(depth EQUAL 0)
          string(LENGTH "${block}" length)
          string(HEX "${block}" hex)
          set(size 0)
        else()
          continue()
        endif()
      elseif(line MATCHES "^([0-9]+)[ \t]+(MENU|DIALOG)([ \t].*)?$")
        set(id ${CMAKE_MATCH_1})
        if(CMAKE_MATCH_2 STREQUAL "MENU")
          set(type 4)
        else()
          set(type 5)
        endif()
        set(block "${line}")
        set(depth 1)
        continue()
      elseif(line MATCHES "^([0-9]+)[ \t]+STRING[ \t]+\"([^\"]*)\"$")
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
      elseif(line MATCHES "^([0-9]+)[ \t]+BITMAP[ \t]+(.+)$")
        set(id ${CMAKE_MATCH_1})
        set(size 0)
        set(file "${folder}/${CMAKE_MATCH_2}")
        set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${file}")
        file(READ "${file}" hex HEX)
        string(LENGTH "${hex}" length)
        math(EXPR length "${length} / 2")
        set(type 2)
      else()
        message(FATAL_ERROR "${description}: cannot read the resource line: ${line}")
      endif()
      # Two resources of one kind and id would leave the loader to pick one
      # of them silently (an icon's sizes are its own resources).
      set(key "${type}:${id}:${size}")
      if(key IN_LIST seen)
        message(FATAL_ERROR "${description}: resource ${id} is defined twice: ${line}")
      endif()
      list(APPEND seen "${key}")
      string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
      string(APPEND arrays "const unsigned char r${n}[] = {${bytes} 0};\n")
      string(APPEND entries "    {${id}, ${type}, ${size}, r${n}, ${length}},\n")
      math(EXPR n "${n} + 1")
    endforeach()
    if(depth GREATER 0)
      message(FATAL_ERROR "${description}: a MENU or DIALOG block has no END")
    endif()
  endforeach()
  set(out "${CMAKE_CURRENT_BINARY_DIR}/${target}_resources.cpp")
  file(CONFIGURE OUTPUT "${out}" CONTENT
"// Made by handset_add_resources from ${ARGN}; edit those files instead.
#include <handset/resources.h>
namespace {
${arrays}}
extern \"C\" __attribute__((visibility(\"default\"))) const handset::ResourceEntry handset_resources[] = {
${entries}    {0, 0, 0, nullptr, 0},
};
" @ONLY)
  target_sources(${target} PRIVATE "${out}")
endfunction()
