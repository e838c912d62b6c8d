// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "drive/grub4dos_images.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <vector>

#include "archive/sevenzip.h"
#include "common/file_writes.h"
#include "common/resources.h"
#include "common/text.h"

namespace quorvane {

namespace {

namespace fs = std::filesystem;

// The images are small; anything much larger is not one of them and is not read whole.
constexpr std::uint64_t kReadLimit = 4 << 20;

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Whether `data` is the pinned image; else why not.
bool Matches(const TPinnedImage& image, const std::string& data, std::string& why) {
  if (data.size() != image.Size) {
    why = std::string(image.Name) + " has " + std::to_string(data.size()) +
          " bytes, the pinned release's has " + std::to_string(image.Size);
    return false;
  }
  const std::string digest = Sha256Hex(data);
  if (digest != image.Sha256) {
    why = std::string(image.Name) + " has SHA-256 " + digest + ", the pinned release's is " +
          image.Sha256;
    return false;
  }
  return true;
}

// A regular file read whole, when it is not larger than the limit.
bool ReadSmallFile(const std::string& path, std::string& data, std::string& error) {
  const int code = quorvane::ReadSmallFile(path, kReadLimit, false, data);
  if (code == EINVAL || code == EFBIG) {
    error = Quoted(path) + " is not a GRUB4DOS image file";
    return false;
  }
  if (code == EIO) {
    error = Quoted(path) + " cannot be read";
    return false;
  }
  if (code != 0) {
    error = Quoted(path) + ": " + SystemErrorText(code);
    return false;
  }
  return true;
}

// Candidates from a folder: the folder itself, then each sub-folder.
bool FromFolder(const std::string& from, std::span<const TPinnedImage> pinned,
                std::map<std::string, std::string>& found, std::string& error) {
  std::vector<fs::path> places = {fs::path(from)};
  std::error_code ec;
  std::vector<fs::path> subfolders;
  for (const fs::directory_entry& entry : fs::directory_iterator(from, ec))
    if (entry.is_directory(ec)) subfolders.push_back(entry.path());
  std::sort(subfolders.begin(), subfolders.end());
  places.insert(places.end(), subfolders.begin(), subfolders.end());
  std::string last_why;
  for (const TPinnedImage& image : pinned) {
    for (const fs::path& place : places) {
      const fs::path file = place / image.Name;
      if (!fs::exists(file, ec)) continue;
      std::string data, why;
      if (!ReadSmallFile(file.string(), data, why) || !Matches(image, data, why)) {
        last_why = why;
        continue;
      }
      found[image.Name] = std::move(data);
      break;
    }
    if (!found.count(image.Name)) {
      error = last_why.empty() ? "no " + std::string(image.Name) + " in " + Quoted(from) : last_why;
      return false;
    }
  }
  return true;
}

// One item of an open archive, extracted into memory.
bool ExtractItem(const T7zInArchiveRef& archive, std::uint32_t index, std::string& data,
                 std::string& error) {
  const int fd = ::memfd_create("quorvane-grub4dos", MFD_CLOEXEC);
  if (fd < 0) {
    error = "cannot extract from the archive: " + SystemErrorText(errno);
    return false;
  }
  try {
    archive->ExtractItemTo(index, fd, false);
  } catch (const std::exception& e) {
    ::close(fd);
    error = std::string("cannot extract from the archive: ") + e.what();
    return false;
  }
  struct stat st {};
  const bool sized = ::fstat(fd, &st) == 0 && static_cast<std::uint64_t>(st.st_size) <= kReadLimit;
  data.assign(sized ? static_cast<std::size_t>(st.st_size) : 0, '\0');
  const bool read = sized && ::pread(fd, data.data(), data.size(), 0) ==
                                 static_cast<ssize_t>(data.size());
  ::close(fd);
  if (!read) error = "an item of the archive is too large or cannot be read";
  return read;
}

// Candidates from a zip file: items named like an image at its top or one folder down.
bool FromArchive(const std::string& from, std::span<const TPinnedImage> pinned,
                 std::map<std::string, std::string>& found, std::string& error) {
  if (!Prepare7zLibrary()) {
    error = Lib7zStartupErrorMessage();
    return false;
  }
  T7zInArchiveRef archive;
  if (!OpenArchive(from, archive)) {
    error = Quoted(from) + " is neither a folder nor an archive the program can read";
    return false;
  }
  std::string last_why;
  try {
    const std::uint32_t count = archive->ItemCount();
    for (const TPinnedImage& image : pinned) {
      for (std::uint32_t i = 0; i < count && !found.count(image.Name); ++i) {
        const std::string path = archive->ItemPathAt(i);
        const auto depth = std::count(path.begin(), path.end(), '/');
        if (archive->IsFolderAt(i) || depth > 1 || BaseName(path) != image.Name) continue;
        const std::int64_t size = archive->ItemSizeAt(i);
        if (size != static_cast<std::int64_t>(image.Size)) {
          last_why = path + " has " + std::to_string(size) + " bytes, the pinned release's " +
                     image.Name + " has " + std::to_string(image.Size);
          continue;
        }
        std::string data, why;
        if (!ExtractItem(archive, i, data, why) || !Matches(image, data, why)) {
          last_why = why;
          continue;
        }
        found[image.Name] = std::move(data);
      }
      if (!found.count(image.Name)) {
        error = last_why.empty() ? "no " + std::string(image.Name) + " in " + Quoted(from)
                                 : last_why;
        break;
      }
    }
  } catch (const std::exception& e) {
    error = Quoted(from) + " cannot be read: " + e.what();
  }
  ReleaseArchive(archive);
  return error.empty();
}

// The target folder, made when missing; a link in its place is refused.
bool PrepareFolder(const std::string& to, std::string& error) {
  std::error_code ec;
  const fs::file_status status = fs::symlink_status(to, ec);
  if (fs::is_symlink(status)) {
    error = Quoted(to) + " is a symbolic link; the images go into a real folder only";
    return false;
  }
  if (fs::exists(status)) {
    if (!fs::is_directory(status)) {
      error = Quoted(to) + " is not a folder";
      return false;
    }
    return true;
  }
  if (!fs::create_directories(to, ec)) {
    error = "cannot make the folder " + Quoted(to) + ": " + ec.message();
    return false;
  }
  fs::permissions(to, fs::perms(0755), ec);
  return true;
}

}  // namespace

std::string Grub4DosImagesMissingMessage() {
  std::error_code ec;
  std::string missing;
  for (const TPinnedImage& image : kGrub4DosImages) {
    if (fs::exists(ResourcePath(image.Name), ec)) continue;
    missing += missing.empty() ? image.Name : std::string(" and ") + image.Name;
  }
  if (missing.empty()) return {};
  const char* env = std::getenv("QUORVANE_RESOURCES");
  const std::string places =
      env && *env ? ResourceDir() : ResourceDir() + " or " + BootImagesDir();
  return "GRUB4DOS's boot images are not installed (" + missing + " not found in " + places +
         "), so no drive can be made bootable yet.\nDownload grub4dos-0.4.6a-2019-12-24.zip "
         "from " + kGrub4DosReleases + " and install them with:\n"
         "  sudo quorvane-cli setup-boot-images --from grub4dos-0.4.6a-2019-12-24.zip";
}

bool InstallGrub4DosImages(const std::string& from, const std::string& to, std::string& error,
                           std::span<const TPinnedImage> pinned) {
  error.clear();
  std::error_code ec;
  std::map<std::string, std::string> found;
  const fs::file_status source = fs::status(from, ec);
  if (!fs::exists(source)) {
    error = Quoted(from) + " does not exist";
    return false;
  }
  if (fs::is_directory(source) ? !FromFolder(from, pinned, found, error)
                               : !FromArchive(from, pinned, found, error))
    return false;
  if (!PrepareFolder(to, error)) return false;
  // Each image is written beside its place and renamed over it, so that a reader sees the
  // old file or the new one, never a part.
  std::vector<std::pair<std::string, std::string>> written;
  for (const TPinnedImage& image : pinned) {
    const std::string target = (fs::path(to) / image.Name).string();
    const std::string part = target + ".new";
    fs::remove(part, ec);
    if (!WriteFileFlushed(part, found[image.Name], error)) {
      error = "cannot write " + Quoted(part) + ": " + error;
      for (const auto& [done, ignored] : written) fs::remove(done, ec);
      fs::remove(part, ec);
      return false;
    }
    written.emplace_back(part, target);
  }
  for (const auto& [part, target] : written) {
    if (::rename(part.c_str(), target.c_str()) != 0) {
      error = "cannot put " + Quoted(target) + " in place: " + SystemErrorText(errno);
      return false;
    }
  }
  const int dir = ::open(to.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  const bool synced = dir >= 0 && ::fsync(dir) == 0;
  if (dir >= 0) ::close(dir);
  if (!synced) {
    error = "cannot flush the folder " + Quoted(to) + ": " + SystemErrorText(errno);
    return false;
  }
  return true;
}

}  // namespace quorvane
