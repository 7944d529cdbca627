# Installation and the Debian package: only the program, with its desktop entry and
# icon. The simulator, the skin generator, tests and benchmarks are not installed.
#
# The executable goes to <prefix>/lib/telvane/Telvane4 (install(TARGETS) strips it
# and clears its build run path) and the command <prefix>/bin/telvane4 is a link to
# it, so the one command on the path has the usual lower-case name while the
# program keeps its own file name.
#
#   cmake --build build --target telvane && (cd build && cpack -B package)
# gives build/package/telvane_<version>_<arch>.deb. Installing (and so cpack) does
# not build everything first: the program alone is enough, and it must be built.

include(GNUInstallDirs)
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

# A private program folder, the same on every architecture.
set(TELVANE_PROGRAM_DIR lib/telvane)
set(TELVANE_PACKAGE_COMPONENT telvane)
install(TARGETS telvane RUNTIME DESTINATION ${TELVANE_PROGRAM_DIR}
        COMPONENT ${TELVANE_PACKAGE_COMPONENT})
file(RELATIVE_PATH _telvane_link_target /${CMAKE_INSTALL_BINDIR} /${TELVANE_PROGRAM_DIR}/Telvane4)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/packaging)
file(CREATE_LINK ${_telvane_link_target} ${CMAKE_BINARY_DIR}/packaging/telvane4 SYMBOLIC)
install(FILES ${CMAKE_BINARY_DIR}/packaging/telvane4 DESTINATION ${CMAKE_INSTALL_BINDIR}
        COMPONENT ${TELVANE_PACKAGE_COMPONENT})
install(FILES ${CMAKE_CURRENT_LIST_DIR}/telvane4.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications
        COMPONENT ${TELVANE_PACKAGE_COMPONENT})
foreach(size 48 256)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/telvane4-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME telvane4.png COMPONENT ${TELVANE_PACKAGE_COMPONENT})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME telvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Telvane")
set(CPACK_PACKAGE_CONTACT "Telvane developers <telvane@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Desktop client of a four-channel networked DVR")
set(CPACK_PACKAGE_DESCRIPTION
    "Watch the four cameras of a networked DVR live (one alone or a 2 x 2 grid,\n\
rotating through channels), steer PTZ cameras, follow alarm, video-loss and\n\
motion reports, play the recorder's archive back, list its events, and keep\n\
snapshots, prints and AVI recordings of what is shown.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# One package holding only the program's component.
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};${PROJECT_NAME};${TELVANE_PACKAGE_COMPONENT};/")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What the linker cannot show: the window-system plugin (xcb), the fonts the skin
# falls back to, and the printing plugin's print system (part of Qt's print support
# package, which needs the CUPS library; a print server is only suggested).
# QtKeychain opens libsecret at run time, so the linker does not see it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-dejavu-core, libsecret-1-0")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wine")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "cups")
include(CPack)
