// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include <dlfcn.h>

#include "archive/library_location.h"
#include "archive/sevenzip.h"
#include "archive/wide_text.h"

namespace quorvane {

using namespace sevenzip;

T7zPlugin::T7zPlugin(const std::string& lib) : FPath(lib) {
  std::string why;
  if (!PathIsTrusted(lib, why)) throw E7zError("Error loading library " + lib);
  // The library exports generic names of its own (SysAllocString, GetLastError, ...):
  // keep them out of the program's symbol scope, and let the library bind to its own.
  FHandle = ::dlopen(lib.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_DEEPBIND);
  if (!FHandle) throw E7zError("Error loading library " + lib);
  FCreateObject = reinterpret_cast<CreateObjectFunc>(::dlsym(FHandle, "CreateObject"));
  FVariantClear = reinterpret_cast<VariantClearFunc>(::dlsym(FHandle, "VariantClear"));
  if (!FCreateObject || !FVariantClear) {
    ::dlclose(FHandle);
    FHandle = nullptr;
    throw E7zError(lib + " is not a 7z library");
  }
}

T7zPlugin::~T7zPlugin() {
  if (FHandle) ::dlclose(FHandle);
}

void T7zPlugin::CreateObject(const GUID& clsid, const GUID& iid, void** obj) {
  const HRESULT result = FCreateObject(&clsid, &iid, obj);
  if (result < 0) throw E7zError(HResultText(result));
}

void T7zPlugin::ClearVariant(PROPVARIANT& value) const { FVariantClear(&value); }

T7zArchive::T7zArchive(const std::string& lib) : T7zPlugin(lib) {
  FGetHandlerProperty =
      reinterpret_cast<GetHandlerPropertyFunc>(::dlsym(FHandle, "GetHandlerProperty"));
  // Thrown from here, the base's destructor unloads the library.
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
