# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Quorvane developers
# What `cmake --install` puts where, and the Debian package CPack makes of it
# (scripts/package.sh -> build/quorvane_VERSION_amd64.deb). GRUB4DOS's boot images are
# never installed: quorvane-cli setup-boot-images puts them into /var/lib/quorvane.
set(CMAKE_INSTALL_DOCDIR share/doc/quorvane)
include(GNUInstallDirs)

set(QUORVANE_MAINTAINER "The Quorvane developers <developers@quorvane.org>" CACHE STRING
    "Maintainer named in the Debian package")
set(_desktop "${CMAKE_SOURCE_DIR}/resources/desktop")
set(_generated "${CMAKE_BINARY_DIR}/package-files")
configure_file("${_desktop}/org.quorvane.Quorvane.metainfo.xml.in"
               "${_generated}/org.quorvane.Quorvane.metainfo.xml" @ONLY)
configure_file("${CMAKE_SOURCE_DIR}/docs/man/quorvane.1" "${_generated}/quorvane.1" @ONLY)
configure_file("${_desktop}/changelog.in" "${_generated}/changelog" @ONLY)

# Debian wants manual pages and the change log compressed, without time stamps.
find_program(QUORVANE_GZIP gzip REQUIRED)
add_custom_command(
  OUTPUT "${_generated}/quorvane.1.gz" "${_generated}/changelog.gz"
         "${_generated}/quorvane-cli.1.gz"
  COMMAND ${QUORVANE_GZIP} -9nkf "${_generated}/quorvane.1" "${_generated}/changelog"
  COMMAND ${CMAKE_COMMAND} -E create_symlink quorvane.1.gz "${_generated}/quorvane-cli.1.gz"
  DEPENDS "${_generated}/quorvane.1" "${_generated}/changelog"
  COMMENT "Compressing the manual page and the change log")
add_custom_target(quorvane_package_files ALL
  DEPENDS "${_generated}/quorvane.1.gz" "${_generated}/changelog.gz")

install(TARGETS quorvane quorvane-cli RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
install(DIRECTORY "${QUORVANE_RESOURCE_OUT}/" DESTINATION "${CMAKE_INSTALL_DATADIR}/quorvane"
        PATTERN grldr EXCLUDE
        PATTERN grldr.mbr EXCLUDE
        PATTERN "*.new" EXCLUDE)
# The policy names the program by the prefix it is installed under (/usr in the package),
# known only when installing.
install(CODE "
  set(QUORVANE_INSTALLED_PROGRAM \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/quorvane\")
  configure_file(\"${_desktop}/org.quorvane.quorvane.policy.in\"
                 \"${_generated}/installed/org.quorvane.quorvane.policy\" @ONLY)")
install(FILES "${_generated}/installed/org.quorvane.quorvane.policy"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/polkit-1/actions")
install(FILES "${_desktop}/org.quorvane.Quorvane.desktop"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
install(FILES "${_desktop}/org.quorvane.Quorvane.svg"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps")
install(FILES "${_generated}/org.quorvane.Quorvane.metainfo.xml"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo")
install(FILES "${_generated}/quorvane.1.gz" "${_generated}/quorvane-cli.1.gz"
        DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
install(FILES "${_desktop}/quorvane-cli.bash-completion"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/bash-completion/completions" RENAME quorvane-cli)
install(FILES "${_desktop}/copyright" "${_generated}/changelog.gz"
        DESTINATION "${CMAKE_INSTALL_DOCDIR}")
# The schema of quorvane-cli's JSON output, for the scripts that read it.
install(FILES "${CMAKE_SOURCE_DIR}/docs/cli-json.md" "${CMAKE_SOURCE_DIR}/docs/cli-json.schema.json"
        DESTINATION "${CMAKE_INSTALL_DOCDIR}")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvane)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "The Quorvane developers")
set(CPACK_PACKAGE_CONTACT "${QUORVANE_MAINTAINER}")
set(CPACK_PACKAGE_DIRECTORY "${CMAKE_BINARY_DIR}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QUORVANE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "multi-boot USB drive maker")
set(CPACK_PACKAGE_DESCRIPTION "Quorvane puts several bootable ISO images on one USB drive: Windows
installers, rescue disks, Ubuntu and utility CDs. It formats the drive or
adds to the data already on it, writes the GRUB4DOS boot code, places each
image in a folder of its own and adds a boot menu entry for it.

It has a window of its own, a local control server driven by a browser
page, and a command-line front end, quorvane-cli. GRUB4DOS's boot images
are installed apart, with quorvane-cli setup-boot-images.")
# The libraries come from the executables; the tools the program runs, by name.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "p7zip-full, ntfs-3g, dosfstools, fdisk, mtools, mount, pkexec, xdg-utils")
# The test in a virtual machine: QEMU, its window (the GTK and SDL displays are modules of
# qemu-system-gui) and the UEFI firmware.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "zenity | kdialog, x11-xserver-utils, qt6-wayland, qemu-system-x86, qemu-system-gui, ovmf")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
