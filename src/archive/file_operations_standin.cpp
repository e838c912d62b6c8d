// Stand-ins until the archive library binding and the copy loop exist: unpacking and
// copying report that they are not available.
#include <unistd.h>

#include <filesystem>

#include "archive/file_operations.h"

namespace quorvane {

namespace {
const char* const kUnavailable = "Unhandled error in unpacking files process";
}

void UnpackArchive(void*, T7zProgressCallback, const std::string&, std::string& ErrorText,
                   const std::string&) {
  ErrorText = kUnavailable;
}

void UnpackSingleFile(void*, T7zProgressCallback, const std::string&, std::string& ErrorText,
                      const std::string&, const std::string&) {
  ErrorText = kUnavailable;
}

void CopyFileWithProgress(const std::string& Source, const std::string& Target,
                          TCopyProgressRoutine Routine, std::string& ErrorText, bool,
                          TJob* Job) {
  std::error_code ec;
  std::filesystem::copy_file(Source, Target, std::filesystem::copy_options::overwrite_existing,
                             ec);
  if (ec) {
    ErrorText = "Error in file copy operation: " + ec.message();
    return;
  }
  const std::int64_t size = FileSize64(Target);
  if (Routine && Routine(size, size, size, size, 1, CALLBACK_CHUNK_FINISHED, -1, -1, Job) ==
                     PROGRESS_CANCEL) {
    std::filesystem::remove(Target, ec);
  }
  ErrorText.clear();
}

void ShellCopyFile(const std::string& Source, const std::string& Target, std::string& ErrorText) {
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(Target).parent_path(), ec);
  std::filesystem::copy_file(Source, Target, std::filesystem::copy_options::overwrite_existing,
                             ec);
  ErrorText = ec ? "Shell file copy operation fails with error code: " + std::to_string(ec.value())
                 : "";
}

void ShellDeleteFile(const std::string& FileName, std::string& ErrorText) {
  ErrorText = ::unlink(FileName.c_str()) == 0 ? "" : "File not found \"" + FileName + "\"";
}

void ShellOpen(const std::string&) {}
void OpenInIExplore(const std::string&) {}

bool CheckNeedNTFS(const std::string& FileName, std::int32_t LoaderType) {
  if (LoaderType < 0 || LoaderType > 9 || LoaderType == 3) return false;
  return FileSize64(FileName) > 4294967295LL;
}

}  // namespace quorvane
