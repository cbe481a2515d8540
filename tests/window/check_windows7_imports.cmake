# Fails when a Windows program imports what Windows 7 lacks: Windows refuses to start a program
# that names a function its DLLs do not have ("entry point not found"), before any of its code
# runs. Functions newer than that (the per-window DPI functions of Windows 10) must be looked up at
# run time. Run as: cmake -DOBJDUMP=<objdump> -DPROGRAM=<program.exe> -P check_windows7_imports.cmake
cmake_minimum_required(VERSION 3.25)
# Windows' own DLLs the programs may import, all of them in Windows 7. Any other DLL would have to
# be installed beside the program.
set(windows7_dlls advapi32.dll comctl32.dll gdi32.dll kernel32.dll msvcrt.dll shell32.dll
    user32.dll winmm.dll ws2_32.dll)
# Functions of these DLLs that came after Windows 7 and that a toolchain or a DPI-aware window
# would reach for: every DPI function but Vista's two, and the precise clock of Windows 8.
set(newer_function "dpi|^getsystemtimepreciseasfiletime$")
set(windows7_dpi_functions setprocessdpiaware isprocessdpiaware)

execute_process(COMMAND "${OBJDUMP}" -p "${PROGRAM}" OUTPUT_VARIABLE dump RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${PROGRAM} failed: ${status}")
endif()
string(REPLACE "\n" ";" lines "${dump}")
set(dll "")
set(faults "")
set(imports 0)
foreach(line IN LISTS lines)
  if(line MATCHES "DLL Name: (.+)$")
    string(TOLOWER "${CMAKE_MATCH_1}" dll)
    if(NOT dll IN_LIST windows7_dlls)
      string(APPEND faults "  ${dll}: not a DLL of Windows 7\n")
    endif()
  elseif(dll AND line MATCHES "^\t[0-9a-f]+\t +[0-9]+ +([A-Za-z_][A-Za-z0-9_@]*)")
    math(EXPR imports "${imports} + 1")
    set(name "${CMAKE_MATCH_1}")
    string(TOLOWER "${name}" function)
    if(function MATCHES "${newer_function}" AND NOT function IN_LIST windows7_dpi_functions)
      string(APPEND faults "  ${dll}: ${name} is newer than Windows 7\n")
    endif()
  elseif(line STREQUAL "")
    set(dll "")
  endif()
endforeach()
if(imports EQUAL 0)
  message(FATAL_ERROR "no imports read from ${PROGRAM}: objdump's output has changed")
endif()
if(faults)
  message(FATAL_ERROR "${PROGRAM} would not start on Windows 7:\n${faults}")
endif()
message(STATUS "${imports} imports, all in Windows 7")
