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

add_custom_target(quorvane_resources ALL
  COMMAND ${CMAKE_COMMAND} -E make_directory "${QUORVANE_RESOURCE_OUT}"
  COMMAND ${CMAKE_COMMAND} -E copy_directory "${CMAKE_SOURCE_DIR}/resources" "${QUORVANE_RESOURCE_OUT}"
  ${_grub_copy}
  COMMENT "Filling the resource folder"
  VERBATIM)
