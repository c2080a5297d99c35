# SPDX-License-Identifier: GPL-3.0-or-later
# Install rules and the Debian package. The installed layout is what the program recognises at
# start-up as "installed": bin/sorvanto with share/sorvanto/ (the demo phrases) beside it.
include(GNUInstallDirs)

set(SORVANTO_APP_ID org.vorn.Sorvanto)
set(SORVANTO_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)

# Application icons, drawn by the artwork generator at each size.
set(SORVANTO_ICON_SIZES 32 48 64 128 256)
set(SORVANTO_ICON_DIR ${CMAKE_BINARY_DIR}/icons)
set(SORVANTO_ICON_FILES)
foreach(size IN LISTS SORVANTO_ICON_SIZES)
    list(APPEND SORVANTO_ICON_FILES ${SORVANTO_ICON_DIR}/sorvanto-${size}.png)
endforeach()
# The generator is a Qt program; under the sanitizer build its leak report is of no interest.
add_custom_command(OUTPUT ${SORVANTO_ICON_FILES}
    COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0
        $<TARGET_FILE:make_artwork> --icons ${SORVANTO_ICON_DIR} ${SORVANTO_ICON_SIZES}
    DEPENDS make_artwork
    COMMENT "Drawing the application icons")

# Man page and changelog, compressed as Debian's policy wants them (no name, no time stamp).
set(SORVANTO_MAN_GZ ${CMAKE_BINARY_DIR}/packaging/sorvanto.1.gz)
set(SORVANTO_CHANGELOG_GZ ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(OUTPUT ${SORVANTO_MAN_GZ}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
    COMMAND gzip -9 -n -c ${SORVANTO_PACKAGING_DIR}/sorvanto.1 > ${SORVANTO_MAN_GZ}
    DEPENDS ${SORVANTO_PACKAGING_DIR}/sorvanto.1
    VERBATIM)
add_custom_command(OUTPUT ${SORVANTO_CHANGELOG_GZ}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
    COMMAND gzip -9 -n -c ${SORVANTO_PACKAGING_DIR}/changelog > ${SORVANTO_CHANGELOG_GZ}
    DEPENDS ${SORVANTO_PACKAGING_DIR}/changelog
    VERBATIM)
add_custom_target(install_files ALL
    DEPENDS ${SORVANTO_ICON_FILES} ${SORVANTO_MAN_GZ} ${SORVANTO_CHANGELOG_GZ} demo_phrases)

install(TARGETS sorvanto RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${DEMO_FILES} DESTINATION ${CMAKE_INSTALL_DATADIR}/sorvanto)
install(FILES ${SORVANTO_PACKAGING_DIR}/${SORVANTO_APP_ID}.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${SORVANTO_PACKAGING_DIR}/${SORVANTO_APP_ID}.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(size IN LISTS SORVANTO_ICON_SIZES)
    install(FILES ${SORVANTO_ICON_DIR}/sorvanto-${size}.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
        RENAME ${SORVANTO_APP_ID}.png)
endforeach()
install(FILES ${SORVANTO_MAN_GZ} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
set(SORVANTO_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/sorvanto)
install(FILES ${SORVANTO_PACKAGING_DIR}/copyright DESTINATION ${SORVANTO_DOC_DIR})
install(FILES ${SORVANTO_CHANGELOG_GZ} DESTINATION ${SORVANTO_DOC_DIR})

# cpack -G DEB: dependencies come from dpkg-shlibdeps on the installed binary.
set(CPACK_PACKAGE_NAME sorvanto)
set(CPACK_PACKAGE_VENDOR "Vorn")
set(CPACK_PACKAGE_CONTACT "Vorn's Sorvanto developers <sorvanto@vorn.org>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "player for looping phrase sets")
set(CPACK_PACKAGE_INSTALL_DIRECTORY sorvanto)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Beside the libraries dpkg-shlibdeps finds: Qt's window-system plugins are only recommended by
# libqt6gui6, and without them the program cannot open its window (apt --no-install-recommends).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# The design's typeface and a sound server; the program runs without either (a fallback font,
# ALSA output), but sounds and looks as meant with them.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation, pulseaudio | pipewire-pulse")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://vorn.org/sorvanto")
# The synopsis is CPACK_PACKAGE_DESCRIPTION_SUMMARY; CPack indents these lines and marks the
# empty one for the control file.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Vorn's Sorvanto plays short recorded phrases (WAV files) of one sound
directory in three columns, each looping until it is stopped, with a level
and a pan knob per column. Three phrases named <set>_1, <set>_2 and <set>_3
form a set that starts together, in sync, and keeps its mixer settings.

Phrases and whole sets can be renamed and deleted from the player.")
include(CPack)
