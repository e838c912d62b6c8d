// Stand-in until the loader classes exist: every type gets the common first stage only.
#include "loaders/loader_catalog.h"
#include "loaders/loader_jobs.h"

namespace quorvane {

std::unique_ptr<TJob> CreateLoaderJob(std::int32_t LoaderType, const std::string& SourceFile,
                                      char TargetDrive, const std::string& JobName) {
  if (!IsLoaderType(LoaderType)) return nullptr;
  return std::make_unique<TJob>(LoaderType, SourceFile, TargetDrive, JobName);
}

}  // namespace quorvane
