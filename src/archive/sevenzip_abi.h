// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The binary interfaces through which the program talks to 7-Zip's format library: the
// COM-style interfaces, their ids, PROPVARIANT and the entry points, declared from their
// public shape. In this build an interface's vtable holds QueryInterface, AddRef and
// Release followed by the interface's own methods (no destructor slot), strings are
// 4-byte wchar_t, and a BSTR is owned by the library's allocator.
#pragma once

#include <cstdint>

#include "archive/hresult.h"

namespace quorvane::sevenzip {

struct GUID {
  std::uint32_t Data1;
  std::uint16_t Data2;
  std::uint16_t Data3;
  std::uint8_t Data4[8];
};

inline bool operator==(const GUID& a, const GUID& b) {
  if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
  for (int i = 0; i < 8; ++i)
    if (a.Data4[i] != b.Data4[i]) return false;
  return true;
}

// {23170F69-40C1-278A-0000-00gg00xx0000}: the library's interface ids.
inline constexpr GUID InterfaceId(std::uint8_t group, std::uint8_t number) {
  return GUID{0x23170F69, 0x40C1, 0x278A, {0x00, 0x00, 0x00, group, 0x00, number, 0x00, 0x00}};
}

// {23170F69-40C1-278A-1000-000110xx0000}: the class id of format number xx.
inline constexpr GUID FormatClassId(std::uint8_t number) {
  return GUID{0x23170F69, 0x40C1, 0x278A, {0x10, 0x00, 0x00, 0x01, 0x10, number, 0x00, 0x00}};
}

inline constexpr GUID IID_IUnknown{0x00000000, 0x0000, 0x0000,
                                   {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr GUID IID_IProgress = InterfaceId(0x00, 0x05);
inline constexpr GUID IID_ISequentialInStream = InterfaceId(0x03, 0x01);
inline constexpr GUID IID_ISequentialOutStream = InterfaceId(0x03, 0x02);
inline constexpr GUID IID_IInStream = InterfaceId(0x03, 0x03);
inline constexpr GUID IID_IOutStream = InterfaceId(0x03, 0x04);
inline constexpr GUID IID_IStreamGetSize = InterfaceId(0x03, 0x06);
inline constexpr GUID IID_IOutStreamFlush = InterfaceId(0x03, 0x07);
inline constexpr GUID IID_ICryptoGetTextPassword = InterfaceId(0x05, 0x10);
inline constexpr GUID IID_IArchiveOpenCallback = InterfaceId(0x06, 0x10);
inline constexpr GUID IID_IArchiveExtractCallback = InterfaceId(0x06, 0x20);
inline constexpr GUID IID_IArchiveOpenVolumeCallback = InterfaceId(0x06, 0x30);
inline constexpr GUID IID_IArchiveOpenSetSubArchiveName = InterfaceId(0x06, 0x50);
inline constexpr GUID IID_IInArchive = InterfaceId(0x06, 0x60);

using PROPID = std::uint32_t;
using VARTYPE = std::uint16_t;
using BSTR = wchar_t*;

// Item properties the program reads.
inline constexpr PROPID kpidPath = 3;
inline constexpr PROPID kpidName = 4;
inline constexpr PROPID kpidIsDir = 6;
inline constexpr PROPID kpidSize = 7;

// PROPVARIANT types the library hands out for those properties.
inline constexpr VARTYPE VT_EMPTY = 0;
inline constexpr VARTYPE VT_I2 = 2;
inline constexpr VARTYPE VT_I4 = 3;
inline constexpr VARTYPE VT_BSTR = 8;
inline constexpr VARTYPE VT_BOOL = 11;
inline constexpr VARTYPE VT_I1 = 16;
inline constexpr VARTYPE VT_UI1 = 17;
inline constexpr VARTYPE VT_UI2 = 18;
inline constexpr VARTYPE VT_UI4 = 19;
inline constexpr VARTYPE VT_I8 = 20;
inline constexpr VARTYPE VT_UI8 = 21;
inline constexpr VARTYPE VT_INT = 22;
inline constexpr VARTYPE VT_UINT = 23;

struct PROPVARIANT {
  VARTYPE vt;
  std::uint16_t wReserved1;
  std::uint16_t wReserved2;
  std::uint16_t wReserved3;
  union {
    std::int8_t cVal;
    std::uint8_t bVal;
    std::int16_t iVal;
    std::uint16_t uiVal;
    std::int32_t lVal;
    std::uint32_t ulVal;
    std::int64_t hVal;
    std::uint64_t uhVal;
    std::int16_t boolVal;  // VARIANT_BOOL: -1 true, 0 false
    BSTR bstrVal;
  };
};
static_assert(sizeof(PROPVARIANT) == 16, "PROPVARIANT is 16 bytes on 64-bit systems");
static_assert(sizeof(wchar_t) == 4, "the library's strings are 4-byte wchar_t");

// Askings of IArchiveExtractCallback::GetStream.
inline constexpr std::int32_t kExtractModeExtract = 0;
inline constexpr std::int32_t kExtractModeTest = 1;
inline constexpr std::int32_t kExtractModeSkip = 2;

// Per-item results of IArchiveExtractCallback::SetOperationResult.
inline constexpr std::int32_t kOpResultOK = 0;
inline constexpr std::int32_t kOpResultUnsupportedMethod = 1;
inline constexpr std::int32_t kOpResultDataError = 2;
inline constexpr std::int32_t kOpResultCRCError = 3;
inline constexpr std::int32_t kOpResultUnavailable = 4;
inline constexpr std::int32_t kOpResultUnexpectedEnd = 5;
inline constexpr std::int32_t kOpResultDataAfterEnd = 6;
inline constexpr std::int32_t kOpResultIsNotArc = 7;
inline constexpr std::int32_t kOpResultHeadersError = 8;
inline constexpr std::int32_t kOpResultWrongPassword = 9;

// The destructors are protected and not virtual: objects are released through Release,
// and the vtable has no destructor slot.
struct IUnknown {
  virtual HRESULT QueryInterface(const GUID& iid, void** object) = 0;
  virtual std::uint32_t AddRef() = 0;
  virtual std::uint32_t Release() = 0;

 protected:
  ~IUnknown() = default;
};

struct ISequentialInStream : IUnknown {
  virtual HRESULT Read(void* data, std::uint32_t size, std::uint32_t* processed) = 0;

 protected:
  ~ISequentialInStream() = default;
};

struct ISequentialOutStream : IUnknown {
  virtual HRESULT Write(const void* data, std::uint32_t size, std::uint32_t* processed) = 0;

 protected:
  ~ISequentialOutStream() = default;
};

struct IInStream : ISequentialInStream {
  virtual HRESULT Seek(std::int64_t offset, std::uint32_t origin, std::uint64_t* position) = 0;

 protected:
  ~IInStream() = default;
};

struct IOutStream : ISequentialOutStream {
  virtual HRESULT Seek(std::int64_t offset, std::uint32_t origin, std::uint64_t* position) = 0;
  virtual HRESULT SetSize(std::uint64_t size) = 0;

 protected:
  ~IOutStream() = default;
};

struct IStreamGetSize : IUnknown {
  virtual HRESULT GetSize(std::uint64_t* size) = 0;

 protected:
  ~IStreamGetSize() = default;
};

struct IOutStreamFlush : IUnknown {
  virtual HRESULT Flush() = 0;

 protected:
  ~IOutStreamFlush() = default;
};

struct IProgress : IUnknown {
  virtual HRESULT SetTotal(std::uint64_t total) = 0;
  virtual HRESULT SetCompleted(const std::uint64_t* completed) = 0;

 protected:
  ~IProgress() = default;
};

struct IArchiveOpenCallback : IUnknown {
  virtual HRESULT SetTotal(const std::uint64_t* files, const std::uint64_t* bytes) = 0;
  virtual HRESULT SetCompleted(const std::uint64_t* files, const std::uint64_t* bytes) = 0;

 protected:
  ~IArchiveOpenCallback() = default;
};

struct IArchiveExtractCallback : IProgress {
  virtual HRESULT GetStream(std::uint32_t index, ISequentialOutStream** stream,
                            std::int32_t mode) = 0;
  virtual HRESULT PrepareOperation(std::int32_t mode) = 0;
  virtual HRESULT SetOperationResult(std::int32_t result) = 0;

 protected:
  ~IArchiveExtractCallback() = default;
};

struct IArchiveOpenVolumeCallback : IUnknown {
  virtual HRESULT GetProperty(PROPID id, PROPVARIANT* value) = 0;
  virtual HRESULT GetStream(const wchar_t* name, IInStream** stream) = 0;

 protected:
  ~IArchiveOpenVolumeCallback() = default;
};

struct IArchiveOpenSetSubArchiveName : IUnknown {
  virtual HRESULT SetSubArchiveName(const wchar_t* name) = 0;

 protected:
  ~IArchiveOpenSetSubArchiveName() = default;
};

struct ICryptoGetTextPassword : IUnknown {
  virtual HRESULT CryptoGetTextPassword(BSTR* password) = 0;

 protected:
  ~ICryptoGetTextPassword() = default;
};

struct IInArchive : IUnknown {
  virtual HRESULT Open(IInStream* stream, const std::uint64_t* max_check_start,
                       IArchiveOpenCallback* callback) = 0;
  virtual HRESULT Close() = 0;
  virtual HRESULT GetNumberOfItems(std::uint32_t* count) = 0;
  virtual HRESULT GetProperty(std::uint32_t index, PROPID id, PROPVARIANT* value) = 0;
  virtual HRESULT Extract(const std::uint32_t* indices, std::uint32_t count, std::int32_t test,
                          IArchiveExtractCallback* callback) = 0;
  virtual HRESULT GetArchiveProperty(PROPID id, PROPVARIANT* value) = 0;
  virtual HRESULT GetNumberOfProperties(std::uint32_t* count) = 0;
  virtual HRESULT GetPropertyInfo(std::uint32_t index, BSTR* name, PROPID* id,
                                  VARTYPE* type) = 0;
  virtual HRESULT GetNumberOfArchiveProperties(std::uint32_t* count) = 0;
  virtual HRESULT GetArchivePropertyInfo(std::uint32_t index, BSTR* name, PROPID* id,
                                         VARTYPE* type) = 0;

 protected:
  ~IInArchive() = default;
};

// Entry points of the library.
using CreateObjectFunc = HRESULT (*)(const GUID* clsid, const GUID* iid, void** object);
using GetHandlerPropertyFunc = HRESULT (*)(PROPID id, PROPVARIANT* value);
// The library's own allocator for the strings of PROPVARIANTs.
using SysFreeStringFunc = void (*)(BSTR text);
using SysAllocStringFunc = BSTR (*)(const wchar_t* text);
using VariantClearFunc = HRESULT (*)(PROPVARIANT* value);

}  // namespace quorvane::sevenzip
