# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Quorvane developers
# Fills the resource folder beside the executable: everything under resources/, plus
# GRUB4DOS's two boot image files from QUORVANE_GRUB4DOS_DIR when that folder is given.
set(_grub_copy "")
if(QUORVANE_GRUB4DOS_DIR)
  foreach(_f grldr grldr.mbr)
    if(NOT EXISTS "${QUORVANE_GRUB4DOS_DIR}/${_f}")
      message(FATAL_ERROR "QUORVANE_GRUB4DOS_DIR=${QUORVANE_GRUB4DOS_DIR} has no ${_f}")
    endif()
    list(APPEND _grub_copy COMMAND ${CMAKE_COMMAND} -E copy_if_different
         "${QUORVANE_GRUB4DOS_DIR}/${_f}" "${QUORVANE_RESOURCE_OUT}/${_f}")
  endforeach()
else()
  message(WARNING "GRUB4DOS boot images not found: set QUORVANE_GRUB4DOS_DIR to the folder "
                  "holding grldr and grldr.mbr, or put them in the resource folder yourself")
endif()

include(${CMAKE_CURRENT_LIST_DIR}/EfiImage.cmake)

# The NTBOOT package travels as one 7z archive, packed from its text files.
find_program(QUORVANE_7Z_COMMAND 7z REQUIRED)
file(GLOB_RECURSE _ntboot_files CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/resources/ntboot/NTBOOT/*")
add_custom_command(OUTPUT "${QUORVANE_RESOURCE_OUT}/NTBOOT.7z"
  COMMAND ${CMAKE_COMMAND} -E make_directory "${QUORVANE_RESOURCE_OUT}"
  COMMAND ${CMAKE_COMMAND} -E rm -f "${QUORVANE_RESOURCE_OUT}/NTBOOT.7z"
  COMMAND ${QUORVANE_7Z_COMMAND} a -t7z -bd -y "${QUORVANE_RESOURCE_OUT}/NTBOOT.7z" NTBOOT > /dev/null
  WORKING_DIRECTORY "${CMAKE_SOURCE_DIR}/resources/ntboot"
  DEPENDS ${_ntboot_files}
  COMMENT "Packing the NTBOOT package")

add_custom_target(quorvane_resources ALL
  COMMAND ${CMAKE_COMMAND} -E make_directory "${QUORVANE_RESOURCE_OUT}"
  COMMAND ${CMAKE_COMMAND} -E copy_directory "${CMAKE_SOURCE_DIR}/resources" "${QUORVANE_RESOURCE_OUT}"
  COMMAND ${CMAKE_COMMAND} -E rm -rf "${QUORVANE_RESOURCE_OUT}/ntboot"
  # The desktop's files are installed where the desktop looks for them.
  COMMAND ${CMAKE_COMMAND} -E rm -rf "${QUORVANE_RESOURCE_OUT}/desktop"
  ${_grub_copy}
  DEPENDS "${QUORVANE_RESOURCE_OUT}/NTBOOT.7z"
  COMMENT "Filling the resource folder"
  VERBATIM)
add_dependencies(quorvane_resources quorvane_efi_image)
