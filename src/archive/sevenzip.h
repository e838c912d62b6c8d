// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The program's binding to 7-Zip's format library: one loaded copy of the library per
// archive object, the archive object with its item queries and extraction, the probing
// of the known formats, and the start-up preparation of the library.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>

#include "archive/hresult.h"
#include "archive/sevenzip_abi.h"
#include "archive/written_files.h"

namespace quorvane {

class TExtractCallback;

// Failures of the library and of the binding; the message says what went wrong.
class E7zError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Formats tried on a file, in this order.
struct T7zFormat {
  const char* Name;
  sevenzip::GUID ClassId;
};
inline constexpr std::array<T7zFormat, 8> k7zProbedFormats = {{
    {"UDF", sevenzip::FormatClassId(0xE0)},
    {"ISO 9660", sevenzip::FormatClassId(0xE7)},
    {"RAR", sevenzip::FormatClassId(0x03)},
    {"ZIP", sevenzip::FormatClassId(0x01)},
    {"ARJ", sevenzip::FormatClassId(0x04)},
    {"7z", sevenzip::FormatClassId(0x07)},
    {"CAB", sevenzip::FormatClassId(0x08)},
    {"DMG", sevenzip::FormatClassId(0xE4)},
}};
inline constexpr sevenzip::GUID kClassIdUdf = sevenzip::FormatClassId(0xE0);
inline constexpr sevenzip::GUID kClassIdIso = sevenzip::FormatClassId(0xE7);

// The library, loaded from the file that was checked (one load per file, shared by every
// object and kept for the run). Throws E7zError "Error loading library <path>" when the
// file cannot be loaded or lies where another user could replace it, and
// "<path> is not a 7z library" when it lacks the entry points.
class T7zPlugin {
 public:
  explicit T7zPlugin(const std::string& lib);
  virtual ~T7zPlugin();
  T7zPlugin(const T7zPlugin&) = delete;
  T7zPlugin& operator=(const T7zPlugin&) = delete;

  // Throws E7zError with the code's text when the library answers a negative code.
  void CreateObject(const sevenzip::GUID& clsid, const sevenzip::GUID& iid, void** obj);

  // Frees the string of a PROPVARIANT with the library's own allocator.
  void ClearVariant(sevenzip::PROPVARIANT& value) const;

 protected:
  void* FHandle = nullptr;
  sevenzip::CreateObjectFunc FCreateObject = nullptr;
  sevenzip::VariantClearFunc FVariantClear = nullptr;
  std::string FPath;
};

// A format library: adds the handler properties and the format's class id. Throws
// "<path> is not a Format library" when the library lacks GetHandlerProperty.
class T7zArchive : public T7zPlugin {
 public:
  explicit T7zArchive(const std::string& lib);

  HRESULT GetHandlerProperty(sevenzip::PROPID id, sevenzip::PROPVARIANT& value);
  std::string GetLibStringProperty(sevenzip::PROPID id);

 protected:
  sevenzip::GetHandlerPropertyFunc FGetHandlerProperty = nullptr;
  sevenzip::GUID FClassId{};
};

// The reference count of an object of ours that the library holds.
class TComRefCount {
 public:
  std::uint32_t Add() { return ++FRefs; }
  // Drops a reference; the last one deletes `self`.
  template <typename T>
  std::uint32_t Release(T* self) {
    const std::uint32_t left = --FRefs;
    if (left == 0) delete self;
    return left;
  }

 private:
  std::atomic<std::uint32_t> FRefs{1};
};

// Ends a QueryInterface: `found` is the interface asked for, null when not supported.
template <typename T>
HRESULT AnswerInterface(T* self, void* found, void** object) {
  if (!object) return E_INVALIDARG;
  *object = found;
  if (!found) return E_NOINTERFACE;
  self->AddRef();
  return S_OK;
}

enum class TStreamOwnership { soReference, soOwned };

// Collects the failures that an extraction meets on the library's threads; the first one
// becomes the message.
class TFailureRecord {
 public:
  void Record(const std::string& message);
  bool Any() const;
  std::string First() const;

 private:
  mutable std::mutex FLock;
  std::string FFirst;
  bool FAny = false;
};

// Adapter from a file descriptor to the library's stream interfaces. With soOwned the
// descriptor is closed when the last reference goes. Failed writes and closes are
// recorded in `failures` under `name` and answered with the system's error code.
class T7zStream final : public sevenzip::IInStream,
                        public sevenzip::IOutStream,
                        public sevenzip::IStreamGetSize,
                        public sevenzip::IOutStreamFlush {
 public:
  // A new stream with one reference held by the caller.
  static T7zStream* Create(int fd, TStreamOwnership ownership,
                           std::shared_ptr<TFailureRecord> failures = nullptr,
                           std::string name = {});

  HRESULT QueryInterface(const sevenzip::GUID& iid, void** object) override;
  std::uint32_t AddRef() override;
  std::uint32_t Release() override;
  HRESULT Read(void* data, std::uint32_t size, std::uint32_t* processed) override;
  HRESULT Write(const void* data, std::uint32_t size, std::uint32_t* processed) override;
  HRESULT Seek(std::int64_t offset, std::uint32_t origin, std::uint64_t* position) override;
  HRESULT SetSize(std::uint64_t size) override;
  HRESULT GetSize(std::uint64_t* size) override;
  HRESULT Flush() override;

  // Feeds `digest` every byte written through the stream, with its place in the file.
  void DigestWrites(std::shared_ptr<TWriteDigest> digest) { FDigest = std::move(digest); }

 private:
  friend class TComRefCount;
  T7zStream(int fd, TStreamOwnership ownership, std::shared_ptr<TFailureRecord> failures,
            std::string name);
  ~T7zStream();

  int FStream;
  TStreamOwnership FOwnership;
  std::shared_ptr<TFailureRecord> FFailures;
  std::string FName;
  bool FWritten = false;
  std::shared_ptr<TWriteDigest> FDigest;
  std::uint64_t FPosition = 0;  // where the next write lands, for the digest
  TComRefCount FRefs;
};

// The program's view of one input archive. Item paths are the library's, with "/" as
// separator and no leading one. Operations throw E7zError on a failed library call.
class I7zInArchive {
 public:
  virtual ~I7zInArchive() = default;
  virtual void OpenArchiveFile(const std::string& file_name) = 0;
  virtual void CloseArchive() = 0;
  virtual std::uint32_t ItemCount() = 0;
  virtual std::string ItemPathAt(std::uint32_t index) = 0;
  virtual std::int64_t ItemSizeAt(std::uint32_t index) = 0;
  virtual bool IsFolderAt(std::uint32_t index) = 0;
  // The library's archive object, created on first need; the reference stays ours.
  virtual sevenzip::IInArchive* InArchive() = 0;
  // Extracts one item into the open descriptor `fd` (or only tests it), feeding `digest`
  // (when given) what is written.
  virtual void ExtractItemTo(std::uint32_t index, int fd, bool test,
                             TWriteDigest* digest = nullptr) = 0;
  // Extracts every file under `path`, creating the folders they need, and flushes them
  // to the file system before it returns. Items that would land outside `path` are
  // refused. A progress receiver that answers E_ABORT ends it quietly. `written`, when
  // given, gets each file written with its digest.
  virtual void ExtractAllTo(const std::string& path, TWrittenFiles* written = nullptr) = 0;
  virtual void SetProgressHandler(void* sender, T7zProgressCallback callback) = 0;
  virtual void SetFormat(const sevenzip::GUID& classid) = 0;
  virtual sevenzip::GUID ClassId() const = 0;
};

using T7zInArchiveRef = std::shared_ptr<I7zInArchive>;

// One input archive over its own load of the library.
class T7zInArchive final : public T7zArchive, public I7zInArchive {
 public:
  explicit T7zInArchive(const std::string& lib);
  ~T7zInArchive() override;

  void OpenArchiveFile(const std::string& file_name) override;
  void CloseArchive() override;
  std::uint32_t ItemCount() override;
  std::string ItemPathAt(std::uint32_t index) override;
  std::int64_t ItemSizeAt(std::uint32_t index) override;
  bool IsFolderAt(std::uint32_t index) override;
  sevenzip::IInArchive* InArchive() override;
  void ExtractItemTo(std::uint32_t index, int fd, bool test,
                     TWriteDigest* digest = nullptr) override;
  void ExtractAllTo(const std::string& path, TWrittenFiles* written = nullptr) override;
  void SetProgressHandler(void* sender, T7zProgressCallback callback) override;
  void SetFormat(const sevenzip::GUID& classid) override;
  sevenzip::GUID ClassId() const override { return FClassId; }

  // The sub-archive name the library reported while opening, if any.
  bool SubArchiveMode() const { return FSubArchiveMode; }
  const std::string& SubArchiveName() const { return FSubArchiveName; }

 private:
  void Extract(const std::uint32_t* indices, std::uint32_t count, bool test,
               TExtractCallback& callback);

  sevenzip::IInArchive* FInArchive = nullptr;
  T7zProgressCallback FProgressCallback = nullptr;
  void* FProgressSender = nullptr;
  bool FSubArchiveMode = false;
  std::string FSubArchiveName;
  std::string FExtractPath;
};

// Free routines; an archive is a T7zInArchiveRef, empty when none.
T7zInArchiveRef NewInArchive(const sevenzip::GUID& classid, const std::string& lib);
bool TryOpenArchive(const std::string& file_name, const sevenzip::GUID& classid,
                    T7zInArchiveRef& archive);
// The archive opened with the first probed format that accepts the file, or empty.
bool OpenArchive(const std::string& file_name, T7zInArchiveRef& archive);
// The program writes item paths with "\" ("casper\vmlinuz"); they are matched with the
// separator mapped, otherwise exactly. The last matching index, -1 when none.
std::int32_t FindArchiveItem(const T7zInArchiveRef& archive, const std::string& item_path);
std::int32_t FindArchiveFileItem(const std::string& file_name, const std::string& item_path);
std::int64_t GetContentSize(const T7zInArchiveRef& archive);
std::int64_t GetLargestItemSize(const T7zInArchiveRef& archive);
// Closes and releases the archive, swallowing whatever the library says.
void ReleaseArchive(T7zInArchiveRef& archive);

// The program's private temporary folder, created when missing; ends with "/".
std::string GetProgramTempFolder();
// Checks the library and the temporary folder; false when the program cannot run.
bool Prepare7zLibrary();
// The temporary folder and the library file in use.
std::string TempFolder();
std::string Lib7zPath();
// The start-up message shown when Prepare7zLibrary fails, naming the path it looked for.
std::string Lib7zStartupErrorMessage();
// What a front end does when it is created: Prepare7zLibrary; empty when the program can
// run, else the start-up message to show before it ends.
std::string Prepare7zLibraryOrMessage();

}  // namespace quorvane
