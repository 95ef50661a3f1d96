# cpack -G DEB: one Debian package of everything `cmake --install` installs.
set(TAVOX_MAINTAINER "TAVOX maintainers <maintainers@tavox.example.org>"
    CACHE STRING "Maintainer field of the Debian package: a name and a mail address in angle brackets")
set(TAVOX_HOMEPAGE "https://tavox.example.org/")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tavox)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "TAVOX")
set(CPACK_PACKAGE_CONTACT "${TAVOX_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TAVOX_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${TAVOX_HOMEPAGE}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Configurator for a three-axis camera gimbal controller")
# One line of the extended description each, at most 80 columns with the
# space dpkg puts before it.
set(CPACK_PACKAGE_DESCRIPTION [[
Reads and writes the controller's parameters, runs its calibrations, shows
its telemetry and upgrades its firmware over a serial port.

The package holds a Qt Quick window (tavox), a command-line companion for
scripts (tavoxctl) and a simulated controller (tavox-sim), and a udev rule
that lets the user at the seat open the USB serial adapters such
controllers commonly use.]])
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/DirectoryModes.cmake)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
# The Qt libraries the programs link come from dpkg-shlibdeps; the QML modules
# the window loads at run time are invisible to it and are listed here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The libraries are private: no shlibs file, and no ldconfig (see Install.cmake).
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
# The window's accessibility builds on Qt Quick's private classes, which hold
# only within the Qt version it was built against.
string(REPLACE "." "-" qt_quick_abi "${Qt5Quick_VERSION}")
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qml-module-qtquick2, qml-module-qtquick-controls2, qml-module-qtquick-templates2, qml-module-qtquick-layouts, qml-module-qtquick-window2, qml-module-qtqml-models2, qtdeclarative-abi-${qt_quick_abi}")
# Without Qt's translations the window works whole and only Qt's own dialogs
# and buttons stay English, so they are recommended, not required.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk, qttranslations5-l10n")
# The recordings of the link open in Wireshark through the dissector the package installs.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "wireshark | tshark")
include(CPack)
