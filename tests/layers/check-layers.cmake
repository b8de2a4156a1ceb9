# Fails when a layer includes a header of a layer above it. Data flows one way,
# app -> web -> platform, and everything uses text:
#
#   text/      may include text/ only (and the standard library)
#   platform/  may include platform/ and text/
#   web/       may include web/, platform/ and text/
#   app/       may include app/, web/, platform/ and text/
#
#   cmake -DSOURCE_DIR=<repository> -P check-layers.cmake
cmake_minimum_required(VERSION 3.25)

set(allowed_text text)
set(allowed_platform platform text)
set(allowed_web web platform text)
set(allowed_app app web platform text)
# Every first folder an include of ours may name.
set(own_folders text platform web app cli demo tests bench)

set(faults)
foreach(layer text platform web app)
  file(GLOB_RECURSE sources LIST_DIRECTORIES false
       "${SOURCE_DIR}/${layer}/*.h" "${SOURCE_DIR}/${layer}/*.cc" "${SOURCE_DIR}/${layer}/*.in")
  if(NOT sources)
    list(APPEND faults "${layer}/: no sources found under ${SOURCE_DIR}")
  endif()
  foreach(source IN LISTS sources)
    file(STRINGS "${source}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(line IN LISTS includes)
      if(NOT line MATCHES "\"([^/\"]+)/")
        continue()
      endif()
      set(folder "${CMAKE_MATCH_1}")
      if(folder IN_LIST own_folders AND NOT folder IN_LIST allowed_${layer})
        file(RELATIVE_PATH where "${SOURCE_DIR}" "${source}")
        string(STRIP "${line}" line)
        list(APPEND faults "${where}: ${line} (${layer}/ may use ${allowed_${layer}})")
      endif()
    endforeach()
  endforeach()
endforeach()

if(faults)
  list(JOIN faults "\n  " report)
  message(FATAL_ERROR "Includes against the direction of the layers:\n  ${report}")
endif()
message(STATUS "Every include runs down the layers")
