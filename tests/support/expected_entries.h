// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The entry files that the Ubuntu and Kaspersky loaders write, as the tests expect them,
// with the job folder's identifier written as "ID".
#pragma once

#include <string>

namespace quorvane::testing {

// "UbuntuX64.lst" for kernel `k`, initrd `rd` and the image `image` (cleaned name with
// extension).
inline std::string ExpectedUbuntuEntry(const std::string& k, const std::string& image,
                                       const std::string& rd = "initrd.lz") {
  const std::string kernel =
      "kernel (hd0,0)/Quorvane/ID/" + k + " iso-scan/filename=/Quorvane/ID/" + image;
  return "title Try Ubuntu without installing\r\nroot (hd0,0)\r\n" + kernel +
         " noprompt boot=casper persistent initrd=/casper/" + rd + " quiet splash --\r\n" +
         "initrd (hd0,0)/Quorvane/ID/" + rd + "\r\n\r\n" +
         "title Install Ubuntu\r\nroot (hd0,0)\r\n" + kernel +
         " noprompt boot=casper only-ubiquity initrd=/casper/" + rd + " quiet splash --\r\n" +
         "initrd (hd0,0)/Quorvane/ID/" + rd + "\r\n\r\n" +
         "title Main menu\r\nconfigfile /menu.lst\r\n";
}

// n + ".lst" of a Kaspersky image named n (without extension).
inline std::string ExpectedKasperskyEntry(const std::string& n) {
  const std::string dir = "/Quorvane/ID/" + n;
  const std::string live = dir + "/rescue/LiveOS/";
  return "title " + n +
         "\r\nuuid () > nul\r\nset UUID=%?%\r\n"
         "kernel " +
         dir + "/boot/rescue root=live:UUID=%UUID% live_dir=" + live + " subdir=" + live +
         " rootfstype=auto rw vga=791 init=/linuxrc loop=" + live +
         "squashfs.img kav_lang=en udev liveimg splash quiet doscsi nomodeset\r\n"
         "initrd " +
         dir +
         "/boot/rescue.igz\r\n\r\n"
         "title Main menu\r\nconfigfile /menu.lst\r\n";
}

}  // namespace quorvane::testing
