// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "loaders/loader_jobs.h"

#include "loaders/loader_catalog.h"
#include "loaders/loader_classes.h"

namespace quorvane {

std::unique_ptr<TJob> CreateLoaderJob(std::int32_t LoaderType, const std::string& SourceFile,
                                      char TargetDrive, const std::string& JobName) {
  const auto& f = SourceFile;
  const char d = TargetDrive;
  const auto& n = JobName;
  switch (LoaderType) {
    case LoaderWindows7: return std::make_unique<TJobWin7>(LoaderType, f, d, n);
    case LoaderWindows8: return std::make_unique<TJobWin8>(LoaderType, f, d, n);
    case LoaderWindows10: return std::make_unique<TJobWin10>(LoaderType, f, d, n);
    case LoaderKaspersky: return std::make_unique<TJobKasper>(LoaderType, f, d, n);
    case LoaderAVG: return std::make_unique<TJobAVG>(LoaderType, f, d, n);
    case LoaderUbuntu: return std::make_unique<TJobUbuntu>(LoaderType, f, d, n);
    case LoaderHirens: return std::make_unique<TJobHirens>(LoaderType, f, d, n);
    case LoaderPartedMagic: return std::make_unique<TJobPartedMagic>(LoaderType, f, d, n);
    case LoaderDrWeb: return std::make_unique<TJobDrWeb>(LoaderType, f, d, n);
    case LoaderClonezilla: return std::make_unique<TJobClonezilla>(LoaderType, f, d, n);
    default: return nullptr;
  }
}

}  // namespace quorvane
