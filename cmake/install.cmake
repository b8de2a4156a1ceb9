# What `cmake --install` puts on a Linux system, and the Debian package that
# CPack makes of it (`make package`):
#   bin/                      lorvane, lorvane-submit, lorvane-push, lorvane-demo
#   share/applications/       the desktop entry
#   share/icons/hicolor/      the icon, SVG and PNGs rendered from it at build time
#   share/metainfo/           AppStream metainfo
#   share/man/man1/           every docs/man/*.1
include(GNUInstallDirs)

# The day of this version's release, for the AppStream metainfo.
set(LORVANE_RELEASE_DATE 2026-12-11)

foreach(program IN ITEMS lorvane lorvane-submit lorvane-push lorvane-demo)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

set(data ${PROJECT_SOURCE_DIR}/data)
install(FILES ${data}/${LORVANE_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
configure_file(${data}/${LORVANE_APP_ID}.metainfo.xml.in
               ${PROJECT_BINARY_DIR}/data/${LORVANE_APP_ID}.metainfo.xml @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/data/${LORVANE_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The icon: the SVG as drawn, and PNGs of the usual sizes rendered from it.
set(icons ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
install(FILES ${data}/${LORVANE_APP_ID}.svg DESTINATION ${icons}/scalable/apps)
find_program(LORVANE_RSVG_CONVERT rsvg-convert REQUIRED)
set(pngs)
foreach(size IN ITEMS 16 24 32 48 64 128 256)
  set(png ${PROJECT_BINARY_DIR}/data/icons/${size}x${size}/${LORVANE_APP_ID}.png)
  add_custom_command(OUTPUT ${png}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/data/icons/${size}x${size}
    COMMAND ${LORVANE_RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${data}/${LORVANE_APP_ID}.svg
    DEPENDS ${data}/${LORVANE_APP_ID}.svg
    COMMENT "Rendering the ${size}x${size} icon" VERBATIM)
  list(APPEND pngs ${png})
  install(FILES ${png} DESTINATION ${icons}/${size}x${size}/apps)
endforeach()
add_custom_target(lorvane_icons ALL DEPENDS ${pngs})

# Every manual page under docs/man; the folder is read again at each configure.
# The pages name the version as @PROJECT_VERSION@, filled in here.
file(GLOB manual_page_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/man/*.1)
set(manual_pages)
foreach(source IN LISTS manual_page_sources)
  get_filename_component(name ${source} NAME)
  configure_file(${source} ${PROJECT_BINARY_DIR}/man/${name} @ONLY)
  list(APPEND manual_pages ${PROJECT_BINARY_DIR}/man/${name})
endforeach()
install(FILES ${manual_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The Debian package: lorvane_VERSION_ARCH.deb, its library dependencies
# found by dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lorvane)
set(CPACK_PACKAGE_VENDOR "Lorvane")
set(CPACK_PACKAGE_CONTACT "Lorvane maintainers <maintainers@lorvane.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION
    "Lorvane posts a list of article URLs to a search engine's URL-submission\n"
    "interface and shows how many URLs it accepted and how much quota remains.\n"
    "The package holds the window (lorvane), lorvane-submit and lorvane-push\n"
    "for terminals and scripts, and lorvane-demo, a local interface to try them.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGE_INSTALL_DIRECTORY lorvane)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
include(CPack)
