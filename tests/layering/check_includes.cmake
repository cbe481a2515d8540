# Fails when a file includes a header of a folder above its own. The program's folders form one
# chain, app -> collect -> stats -> settings -> runtime, and every include points down it; the
# report depends on nothing above runtime. Run as: cmake -DSOURCE_DIR=<root> -P check_includes.cmake
cmake_minimum_required(VERSION 3.25)
set(chain runtime settings stats collect app)
set(allowed_report runtime report)

file(GLOB_RECURSE sources RELATIVE "${SOURCE_DIR}"
     "${SOURCE_DIR}/runtime/*" "${SOURCE_DIR}/settings/*" "${SOURCE_DIR}/stats/*"
     "${SOURCE_DIR}/collect/*" "${SOURCE_DIR}/app/*" "${SOURCE_DIR}/report/*")
list(FILTER sources INCLUDE REGEX "\\.(h|cpp)$")

set(faults "")
foreach(source IN LISTS sources)
  string(REGEX MATCH "^[^/]+" folder "${source}")
  if(folder STREQUAL "report")
    set(allowed ${allowed_report})
  else()
    list(FIND chain "${folder}" rank)
    list(SUBLIST chain 0 ${rank} allowed)
    list(APPEND allowed "${folder}")
  endif()
  file(STRINGS "${SOURCE_DIR}/${source}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line IN LISTS includes)
    string(REGEX MATCH "\"([^\"]+)\"" quoted "${line}")
    set(header "${CMAKE_MATCH_1}")
    if(NOT header MATCHES "/")
      string(APPEND faults "\n  ${source}: \"${header}\" names no folder")
      continue()
    endif()
    string(REGEX MATCH "^[^/]+" target "${header}")
    if(NOT target IN_LIST allowed)
      string(APPEND faults "\n  ${source} includes ${header}, which is not below ${folder}/")
    endif()
  endforeach()
endforeach()

list(LENGTH sources count)
if(faults)
  message(FATAL_ERROR "Includes that point up or sideways:${faults}")
endif()
message(STATUS "${count} files: every include points down")
