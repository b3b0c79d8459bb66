# handset_embed_made_files(NAME name TOOL target FILES file... HEADER header
#                          NAMESPACE namespace TABLE table COUNT count)
# When the platform is built, runs the program TOOL with the folder NAME of
# the build, where it makes FILES, and carries those files in `handset` as
# the table TABLE of handset::EmbeddedFile (core/embedded_files.h) with its
# length COUNT, both declared in HEADER inside NAMESPACE. The tool's leak
# check is off: it is a build step, and the libraries it draws or plays
# with keep some memory until the process ends.
set(HANDSET_EMBED_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/embed_files.cmake)

function(handset_embed_made_files)
  cmake_parse_arguments(E "" "NAME;TOOL;HEADER;NAMESPACE;TABLE;COUNT" "FILES" ${ARGN})
  set(folder ${CMAKE_CURRENT_BINARY_DIR}/${E_NAME})
  set(source ${CMAKE_CURRENT_BINARY_DIR}/${E_NAME}_data.cpp)
  string(REPLACE "_" " " words ${E_NAME})
  set(made)
  foreach(name IN LISTS E_FILES)
    list(APPEND made ${folder}/${name})
  endforeach()
  list(JOIN made "|" made_list)
  add_custom_command(
    OUTPUT ${made}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
    COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0 $<TARGET_FILE:${E_TOOL}> ${folder}
    DEPENDS ${E_TOOL}
    COMMENT "Making the ${words}"
    VERBATIM)
  add_custom_command(
    OUTPUT ${source}
    COMMAND ${CMAKE_COMMAND} -DFILES=${made_list} -DOUTPUT=${source} -DHEADER=${E_HEADER} -DNAMESPACE=${E_NAMESPACE}
            -DTABLE=${E_TABLE} -DCOUNT=${E_COUNT} -P ${HANDSET_EMBED_SCRIPT}
    DEPENDS ${made} ${HANDSET_EMBED_SCRIPT}
    COMMENT "Embedding the ${words}"
    VERBATIM)
  target_sources(handset PRIVATE ${source})
endfunction()
