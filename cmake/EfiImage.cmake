# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Quorvane developers
# The UEFI boot loader that mode new puts on a drive's EFI partition as EFI/BOOT/BOOTX64.EFI:
# a GRUB 2 image made from Debian's grub-efi-amd64-bin modules. Its configuration
# (EFI/BOOT/grub.cfg, written by the program) finds the drive's main partition and loads
# the menu kept there; the modules are those its menus use.
find_program(QUORVANE_GRUB_MKIMAGE grub-mkimage)
set(QUORVANE_GRUB_EFI_MODULES_DIR "/usr/lib/grub/x86_64-efi" CACHE PATH
    "Folder of GRUB 2's x86_64-efi modules (package grub-efi-amd64-bin)")
set(QUORVANE_GRUB_EFI_MODULES
    part_msdos part_gpt fat ntfs exfat iso9660 udf loopback linux normal search
    search_fs_file configfile echo test ls chain efi_gop efi_uga all_video minicmd regexp
    # the "BIOS only" screen waits for a key; the Kaspersky entry passes its volume's UUID
    read probe)
set(_efi_image "${QUORVANE_RESOURCE_OUT}/BOOTX64.EFI")
if(QUORVANE_GRUB_MKIMAGE AND EXISTS "${QUORVANE_GRUB_EFI_MODULES_DIR}/linux.mod")
  add_custom_command(OUTPUT "${_efi_image}"
    COMMAND ${CMAKE_COMMAND} -E make_directory "${QUORVANE_RESOURCE_OUT}"
    COMMAND ${QUORVANE_GRUB_MKIMAGE} -O x86_64-efi -d "${QUORVANE_GRUB_EFI_MODULES_DIR}"
            -p /EFI/BOOT -o "${_efi_image}" ${QUORVANE_GRUB_EFI_MODULES}
    DEPENDS "${CMAKE_SOURCE_DIR}/cmake/EfiImage.cmake"
    COMMENT "Making the UEFI boot loader BOOTX64.EFI with grub-mkimage"
    VERBATIM)
  add_custom_target(quorvane_efi_image DEPENDS "${_efi_image}")
else()
  message(WARNING "grub-mkimage or GRUB 2's x86_64-efi modules not found (package "
                  "grub-efi-amd64-bin): drives made in mode new will not boot on UEFI")
  add_custom_target(quorvane_efi_image)
endif()
