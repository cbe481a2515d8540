# Fails when a file includes a header of a folder it may not use. The program's folders form one
# chain, app -> collect -> routers -> stats -> settings -> runtime, and every include points down it; the
# window layer stands on runtime alone and only app uses it; the report depends on nothing above
# runtime; the headless collector stands on collect and what lies below it, never on app or the
# window layer. Run as: cmake -DSOURCE_DIR=<root> -P check_includes.cmake
cmake_minimum_required(VERSION 3.25)
# What each folder may include besides itself.
set(uses_runtime "")
set(uses_settings runtime)
set(uses_stats settings runtime)
set(uses_routers stats settings runtime)
set(uses_collect routers stats settings runtime)
set(uses_window runtime)
set(uses_app window collect stats settings runtime)
set(uses_collector collect routers stats settings runtime)
set(uses_report runtime)
set(folders runtime settings stats routers collect window app collector report)

set(globs "")
foreach(folder IN LISTS folders)
  list(APPEND globs "${SOURCE_DIR}/${folder}/*")
endforeach()
file(GLOB_RECURSE sources RELATIVE "${SOURCE_DIR}" ${globs})
list(FILTER sources INCLUDE REGEX "\\.(h|cpp)$")

set(faults "")
foreach(source IN LISTS sources)
  string(REGEX MATCH "^[^/]+" folder "${source}")
  set(allowed ${uses_${folder}} ${folder})
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
      string(APPEND faults "\n  ${source} includes ${header}, which ${folder}/ may not use")
    endif()
  endforeach()
endforeach()

list(LENGTH sources count)
if(faults)
  message(FATAL_ERROR "Includes that point up or sideways:${faults}")
endif()
message(STATUS "${count} files: every include points down")
