# `make package` for Windows: a zip with lorvane.exe, a README and the licence
# texts of what is linked into it (the MinGW-w64 runtime and winpthreads, and
# GCC's libgcc and libstdc++), taken from the Debian packages that built it.
if(NOT TARGET lorvane)
  return()
endif()

install(TARGETS lorvane RUNTIME DESTINATION .)
configure_file(${PROJECT_SOURCE_DIR}/docs/windows/README.txt
               ${PROJECT_BINARY_DIR}/package/README.txt @ONLY NEWLINE_STYLE CRLF)
install(FILES ${PROJECT_BINARY_DIR}/package/README.txt DESTINATION .)

set(LORVANE_LICENCE_SOURCES
  "mingw-w64=/usr/share/doc/mingw-w64-x86-64-dev/copyright"
  "gcc-runtime=/usr/share/doc/g++-mingw-w64-x86-64-posix/copyright"
  CACHE STRING "name=path of each licence text that goes into the Windows zip")
foreach(entry IN LISTS LORVANE_LICENCE_SOURCES)
  string(REPLACE "=" ";" parts "${entry}")
  list(GET parts 0 name)
  list(GET parts 1 path)
  if(NOT EXISTS "${path}")
    message(FATAL_ERROR "The licence text ${path} is missing (its Debian package builds lorvane.exe)")
  endif()
  install(FILES "${path}" DESTINATION licences RENAME ${name}.txt)
endforeach()

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME lorvane)
set(CPACK_PACKAGE_FILE_NAME lorvane-${PROJECT_VERSION}-windows-x64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
include(CPack)
