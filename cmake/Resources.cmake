# Compiled-in resources, looked up at run time by type and id
# (platform/resources.h).  tessaload_add_resources(TARGET ENTRIES type id file ...)
# turns each file, which may itself be generated at build time, into a byte
# array of a generated source file of TARGET.
set(TESSALOAD_EMBED_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/Embed.cmake)

function(tessaload_add_resources target)
  cmake_parse_arguments(ARG "" "" "ENTRIES" ${ARGN})
  set(out ${CMAKE_CURRENT_BINARY_DIR}/${target}_table.cpp)
  set(files "")
  set(spec "")
  list(LENGTH ARG_ENTRIES n)
  math(EXPR last "${n} - 1")
  foreach(i RANGE 0 ${last} 3)
    math(EXPR j "${i} + 1")
    math(EXPR k "${i} + 2")
    list(GET ARG_ENTRIES ${i} type)
    list(GET ARG_ENTRIES ${j} id)
    list(GET ARG_ENTRIES ${k} file)
    if(NOT IS_ABSOLUTE ${file})
      set(file ${CMAKE_CURRENT_SOURCE_DIR}/${file})
    endif()
    list(APPEND files ${file})
    string(APPEND spec "${type}|${id}|${file};")
  endforeach()
  file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/${target}_entries.txt "${spec}")
  add_custom_command(
    OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -DENTRIES_FILE=${CMAKE_CURRENT_BINARY_DIR}/${target}_entries.txt
            -DOUT=${out} -P ${TESSALOAD_EMBED_SCRIPT}
    DEPENDS ${files} ${TESSALOAD_EMBED_SCRIPT} ${CMAKE_CURRENT_BINARY_DIR}/${target}_entries.txt
    COMMENT "Embedding resources into ${target}")
  add_library(${target} STATIC ${out})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
endfunction()
