# What `cmake --install` puts where, and the Debian package made of it.
# Only the two programs and their data are installed: no tests, benchmarks,
# fuzzers or tools.
include(GNUInstallDirs)

# Installed programs find their data relative to themselves
# (<prefix>/bin/../share/brellin), so the prefix can move after installing.
set(BRELLIN_INSTALL_DATADIR ${CMAKE_INSTALL_DATADIR}/brellin)

install(TARGETS brellin-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The shipped library: seeds each user's program folder on first start.
file(GLOB BRELLIN_SHIPPED_LIBRARY CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/data/*.srd
     ${CMAKE_SOURCE_DIR}/data/*.bst ${CMAKE_SOURCE_DIR}/data/*.stk)
install(FILES ${BRELLIN_SHIPPED_LIBRARY} ${CMAKE_SOURCE_DIR}/data/style-sample.png
        DESTINATION ${BRELLIN_INSTALL_DATADIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/data/Help DESTINATION ${BRELLIN_INSTALL_DATADIR})

install(FILES ${CMAKE_SOURCE_DIR}/data/man/brellin-cli.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

if(TARGET brellin)
  install(TARGETS brellin RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${CMAKE_SOURCE_DIR}/data/man/brellin.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${CMAKE_SOURCE_DIR}/data/desktop/brellin.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${CMAKE_SOURCE_DIR}/data/desktop/brellin-mime.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME brellin.xml)
  # The icons' PNG sizes are rendered by scripts/make-icons.sh and committed.
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/data/icons/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
endif()

# `make package`: a Debian package installing into /usr. The desktop
# database, MIME database and icon caches are refreshed by the triggers of
# the packages that own them, so no maintainer scripts are needed.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME brellin)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Brellin Pro developers")
set(CPACK_PACKAGE_CONTACT "Brellin Pro developers <packaging@brellin.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "turns photographs into pictures made of single strokes")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Brellin Pro turns a photograph into a pen-and-ink or painted picture made\n"
  "of thousands of single strokes, traced along the picture's contours and\n"
  "coloured from it. Every stroke is kept as vectors, so the work can be\n"
  "undone, re-rendered at any size, exported as PostScript or SVG and saved\n"
  "as a project.\n"
  ".\n"
  "The package holds the desktop program brellin, the command-line program\n"
  "brellin-cli for batch work, and the shipped brushes, styles, stroke\n"
  "patterns and help pages.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time, out of dpkg-shlibdeps' sight: Qt's platform plugins
# (no window without them) and a font for the desktop program's texts.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-dejavu-core")
include(CPack)
