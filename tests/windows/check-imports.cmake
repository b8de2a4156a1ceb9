# cmake -DOBJDUMP=... -DPROGRAM=x.exe -P check-imports.cmake
# Fails unless every DLL that PROGRAM imports ships with Windows itself: the
# C++ runtime must be linked in statically, and wininet.dll is bound at run
# time, never imported.
execute_process(COMMAND ${OBJDUMP} -p ${PROGRAM}
  OUTPUT_VARIABLE dump RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${PROGRAM} failed")
endif()
string(REGEX MATCHALL "DLL Name: [^\r\n]+" lines "${dump}")
if(NOT lines)
  message(FATAL_ERROR "${PROGRAM} lists no imported DLL; is it a Windows program?")
endif()
set(system_dlls
  kernel32 user32 gdi32 shell32 comctl32 comdlg32 advapi32 ole32 oleaut32 uxtheme
  shlwapi version ws2_32 msvcrt ucrtbase)
set(offending)
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^DLL Name: " "" dll "${line}")
  string(TOLOWER "${dll}" dll_lower)
  string(REGEX REPLACE "\\.dll$" "" base "${dll_lower}")
  message(STATUS "${PROGRAM} imports ${dll}")
  list(FIND system_dlls "${base}" known)
  # The universal C runtime is reached through api-ms-win-crt-* sets.
  if(known EQUAL -1 AND NOT base MATCHES "^api-ms-win-")
    list(APPEND offending "${dll}")
  endif()
endforeach()
if(offending)
  message(FATAL_ERROR "${PROGRAM} imports DLLs that Windows does not ship: ${offending}")
endif()
