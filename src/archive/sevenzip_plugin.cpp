// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <mutex>
#include <string>
#include <vector>

#include "archive/library_location.h"
#include "archive/sevenzip.h"
#include "archive/wide_text.h"

namespace quorvane {

using namespace sevenzip;

namespace {

// The library files loaded so far, by the identity of the file checked. A file is loaded
// once and stays loaded for the run: every archive object of it shares that load.
struct TLoadedFile {
  dev_t Device;
  ino_t Inode;
  void* Handle;
};
std::mutex g_loads_lock;
std::vector<TLoadedFile> g_loads;
// The loader knows an object also by the name it was loaded under, so a name
// "/proc/self/fd/N" is never given to it twice: a later file behind the same number would
// be taken for the earlier one.
int g_next_name = 3;

// Loads exactly the file open at `fd`; null when it does not load.
void* LoadOpenFile(int fd) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) return nullptr;
  std::lock_guard<std::mutex> guard(g_loads_lock);
  for (const TLoadedFile& loaded : g_loads)
    if (loaded.Device == info.st_dev && loaded.Inode == info.st_ino) return loaded.Handle;
  const int named = ::fcntl(fd, F_DUPFD_CLOEXEC, g_next_name);
  if (named < 0) return nullptr;
  g_next_name = named + 1;
  // The library exports generic names of its own (SysAllocString, GetLastError, ...):
  // keep them out of the program's symbol scope, and let the library bind to its own.
  // Builds with the address sanitizer cannot load with RTLD_DEEPBIND.
  int flags = RTLD_NOW | RTLD_LOCAL;
#if QUORVANE_DLOPEN_DEEPBIND
  flags |= RTLD_DEEPBIND;
#endif
  void* handle = ::dlopen(("/proc/self/fd/" + std::to_string(named)).c_str(), flags);
  ::close(named);
  if (handle) g_loads.push_back({info.st_dev, info.st_ino, handle});
  return handle;
}

}  // namespace

T7zPlugin::T7zPlugin(const std::string& lib) : FPath(lib) {
  // The file is opened once and checked on its descriptor; the loader then maps exactly
  // that file, so no link or file swapped after the check can put another one in its place.
  std::string why;
  const int fd = OpenTrustedFile(lib, why);
  if (fd < 0) throw E7zError("Error loading library " + lib);
  FHandle = LoadOpenFile(fd);
  ::close(fd);
  if (!FHandle) throw E7zError("Error loading library " + lib);
  FCreateObject = reinterpret_cast<CreateObjectFunc>(::dlsym(FHandle, "CreateObject"));
  FVariantClear = reinterpret_cast<VariantClearFunc>(::dlsym(FHandle, "VariantClear"));
  if (!FCreateObject || !FVariantClear) {
    FHandle = nullptr;
    throw E7zError(lib + " is not a 7z library");
  }
}

// The load is shared and stays for the run.
T7zPlugin::~T7zPlugin() = default;

void T7zPlugin::CreateObject(const GUID& clsid, const GUID& iid, void** obj) {
  const HRESULT result = FCreateObject(&clsid, &iid, obj);
  if (result < 0) throw E7zError(HResultText(result));
}

void T7zPlugin::ClearVariant(PROPVARIANT& value) const { FVariantClear(&value); }

T7zArchive::T7zArchive(const std::string& lib) : T7zPlugin(lib) {
  FGetHandlerProperty =
      reinterpret_cast<GetHandlerPropertyFunc>(::dlsym(FHandle, "GetHandlerProperty"));
  if (!FGetHandlerProperty) throw E7zError(lib + " is not a Format library");
}

HRESULT T7zArchive::GetHandlerProperty(PROPID id, PROPVARIANT& value) {
  return FGetHandlerProperty(id, &value);
}

std::string T7zArchive::GetLibStringProperty(PROPID id) {
  PROPVARIANT value{};
  std::string text;
  if (GetHandlerProperty(id, value) == S_OK && value.vt == VT_BSTR)
    text = Utf8FromWide(value.bstrVal);
  ClearVariant(value);
  return text;
}

}  // namespace quorvane
