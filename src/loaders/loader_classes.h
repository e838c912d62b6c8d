// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The ten loader classes, one per loader type; each writes its own kind of boot entry.
#pragma once

#include "loaders/loader_job.h"

namespace quorvane {

// Windows installers (codes 0, 1, 2): the image is copied and booted through NTBOOT.
class TJobWindows : public TLoaderJob {
 public:
  using TLoaderJob::TLoaderJob;
  ~TJobWindows() override { WaitFor(); }

 protected:
  void JobGo() override;
  bool BootsThroughNTBOOT() const override { return true; }
  // The package's folder of this version's answer file: "W7", "W8" or "W10".
  virtual const char* TemplateFolder() const = 0;
  // The option with which the NTBOOT script is called for the image.
  virtual std::string NTBOOTOption() const { return "iso_inst=vboot cdrom="; }
};

class TJobWin7 : public TJobWindows {
 public:
  using TJobWindows::TJobWindows;
  ~TJobWin7() override { WaitFor(); }

 protected:
  const char* TemplateFolder() const override { return "W7"; }
  std::string NTBOOTOption() const override;
};

class TJobWin8 : public TJobWindows {
 public:
  using TJobWindows::TJobWindows;
  ~TJobWin8() override { WaitFor(); }

 protected:
  const char* TemplateFolder() const override { return "W8"; }
};

class TJobWin10 : public TJobWindows {
 public:
  using TJobWindows::TJobWindows;
  ~TJobWin10() override { WaitFor(); }

 protected:
  const char* TemplateFolder() const override { return "W10"; }
};

// Kaspersky rescue disk (code 3): the image is unpacked and its kernel started directly.
class TJobKasper : public TLoaderJob {
 public:
  using TLoaderJob::TLoaderJob;
  ~TJobKasper() override { WaitFor(); }

 protected:
  void JobGo() override;
};

// AVG rescue disk (code 4): the image is mapped as a CD; its kernel and initrd are started.
class TJobAVG : public TLoaderJob {
 public:
  using TLoaderJob::TLoaderJob;
  ~TJobAVG() override { WaitFor(); }

 protected:
  void JobGo() override;
};

// Ubuntu (code 5): the image is copied, its kernel and initrd taken out of it.
class TJobUbuntu : public TLoaderJob {
 public:
  using TLoaderJob::TLoaderJob;
  ~TJobUbuntu() override { WaitFor(); }

 protected:
  void JobGo() override;
};

// Images booted as a CD drive and chain-loaded: mapped in place after a partition entry
// pointing at them (codes 6, 7, 8, 9), so that the system started from the CD finds it
// as a disk partition once Linux runs.
class TMappedCdJob : public TLoaderJob {
 public:
  using TLoaderJob::TLoaderJob;
  ~TMappedCdJob() override { WaitFor(); }

 protected:
  void JobGo() override;
  // The parameters of the type's kernel when the UEFI menu starts it from the image.
  virtual std::string UefiKernelParams() const;
};

class TJobHirens : public TMappedCdJob {
 public:
  using TMappedCdJob::TMappedCdJob;
  ~TJobHirens() override { WaitFor(); }
};

class TJobPartedMagic : public TMappedCdJob {
 public:
  using TMappedCdJob::TMappedCdJob;
  ~TJobPartedMagic() override { WaitFor(); }

 protected:
  std::string UefiKernelParams() const override;
};

class TJobDrWeb : public TMappedCdJob {
 public:
  using TMappedCdJob::TMappedCdJob;
  ~TJobDrWeb() override { WaitFor(); }
};

// Clonezilla (code 9). Loaded into memory ("map --mem") its live system would find no
// medium once Linux runs: the copy in memory is gone, and it stops in its initramfs.
class TJobClonezilla : public TMappedCdJob {
 public:
  using TMappedCdJob::TMappedCdJob;
  ~TJobClonezilla() override { WaitFor(); }

 protected:
  std::string UefiKernelParams() const override;
};

}  // namespace quorvane
