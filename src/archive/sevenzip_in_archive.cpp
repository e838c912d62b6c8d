// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <vector>

#include "archive/item_paths.h"
#include "archive/sevenzip.h"
#include "drive/fuse_block_flush.h"
#include "archive/wide_text.h"
#include "common/text.h"

namespace quorvane {

using namespace sevenzip;

namespace {

// A HRESULT other than S_OK and E_ABORT raises; E_ABORT returns quietly.
void Check(HRESULT result) {
  if (result != S_OK && result != E_ABORT) throw E7zError(HResultText(result));
}

std::string OperationResultText(std::int32_t result) {
  switch (result) {
    case kOpResultUnsupportedMethod: return "Unsupported compression method";
    case kOpResultDataError: return "Data error";
    case kOpResultCRCError: return "CRC error";
    case kOpResultUnavailable: return "Unavailable data";
    case kOpResultUnexpectedEnd: return "Unexpected end of data";
    case kOpResultDataAfterEnd: return "There are some data after the end of the payload data";
    case kOpResultIsNotArc: return "Is not archive";
    case kOpResultHeadersError: return "Headers error";
    case kOpResultWrongPassword: return "Wrong password";
    default: return "Error " + std::to_string(result);
  }
}

// Answers of the archive to the library while it opens a file: no progress, no further
// volumes, no password.
class TOpenCallback final : public IArchiveOpenCallback,
                            public IArchiveOpenVolumeCallback,
                            public IArchiveOpenSetSubArchiveName,
                            public ICryptoGetTextPassword {
 public:
  HRESULT QueryInterface(const GUID& iid, void** object) override {
    void* found = nullptr;
    if (iid == IID_IUnknown || iid == IID_IArchiveOpenCallback) {
      found = static_cast<IArchiveOpenCallback*>(this);
    } else if (iid == IID_IArchiveOpenVolumeCallback) {
      found = static_cast<IArchiveOpenVolumeCallback*>(this);
    } else if (iid == IID_IArchiveOpenSetSubArchiveName) {
      found = static_cast<IArchiveOpenSetSubArchiveName*>(this);
    } else if (iid == IID_ICryptoGetTextPassword) {
      found = static_cast<ICryptoGetTextPassword*>(this);
    }
    return AnswerInterface(this, found, object);
  }
  std::uint32_t AddRef() override { return FRefs.Add(); }
  std::uint32_t Release() override { return FRefs.Release(this); }

  HRESULT SetTotal(const std::uint64_t*, const std::uint64_t*) override { return S_OK; }
  HRESULT SetCompleted(const std::uint64_t*, const std::uint64_t*) override { return S_OK; }

  HRESULT GetProperty(PROPID, PROPVARIANT*) override { return S_OK; }
  HRESULT GetStream(const wchar_t*, IInStream** stream) override {
    if (stream) *stream = nullptr;
    return S_OK;
  }

  HRESULT SetSubArchiveName(const wchar_t* name) override {
    try {
      std::lock_guard<std::mutex> guard(FLock);
      FSubArchiveName = Utf8FromWide(name);
      FSubArchiveMode = true;
      return S_OK;
    } catch (...) {
      return E_OUTOFMEMORY;
    }
  }

  // No password supplier is ever set.
  HRESULT CryptoGetTextPassword(BSTR* password) override {
    if (password) *password = nullptr;
    return S_FALSE;
  }

  bool SubArchiveName(std::string& name) {
    std::lock_guard<std::mutex> guard(FLock);
    name = FSubArchiveName;
    return FSubArchiveMode;
  }

 private:
  friend class quorvane::TComRefCount;
  ~TOpenCallback() = default;
  TComRefCount FRefs;
  std::mutex FLock;
  bool FSubArchiveMode = false;
  std::string FSubArchiveName;
};

// Releases a callback object or stream of ours when the scope ends.
template <typename T>
class TReleaser {
 public:
  explicit TReleaser(T* object) : FObject(object) {}
  ~TReleaser() { FObject->Release(); }
  T* operator->() const { return FObject; }
  T* Get() const { return FObject; }

 private:
  T* FObject;
};

}  // namespace

// Answers of the archive to the library while it extracts: progress to the receiver,
// output streams for the items (one given descriptor, or new files under a folder), and
// the failures met on the way. The library may call it from threads of its own.
class TExtractCallback final : public IArchiveExtractCallback, public ICryptoGetTextPassword {
 public:
  struct TItem {
    std::string Path;
    bool IsFolder = false;
  };

  TExtractCallback(T7zProgressCallback progress, void* sender)
      : FProgress(progress), FSender(sender), FFailures(std::make_shared<TFailureRecord>()) {}

  // The one item `index` goes into `fd`; every other item is skipped.
  // `digest`, when given, is fed what is written.
  void TargetStream(std::uint32_t index, int fd, std::string name, TWriteDigest* digest) {
    FStreamIndex = index;
    FStreamFd = fd;
    FStreamName = std::move(name);
    FStreamDigest = digest;
  }
  // Every file goes below the open folder `dir_fd`; with `digest_files`, each one written
  // is digested (FileDigests).
  void TargetFolder(int dir_fd, std::vector<TItem> items, bool digest_files) {
    FFolderFd = dir_fd;
    FItems = std::move(items);
    FDigestFiles = digest_files;
  }
  // The files made below the folder, by their path under it, with their digests.
  struct TFileDigest {
    std::string Path;
    std::shared_ptr<TWriteDigest> Digest;
  };
  std::vector<TFileDigest> FileDigests() {
    std::lock_guard<std::mutex> guard(FLock);
    return FFileDigests;
  }
  // Called once the extraction has returned: nothing is written any more.
  void Detach() {
    std::lock_guard<std::mutex> guard(FLock);
    FStreamFd = -1;
    FFolderFd = -1;
  }

  const std::shared_ptr<TFailureRecord>& Failures() const { return FFailures; }
  bool AbortedByProgress() const { return FAborted.load(); }
  bool PasswordAsked() const { return FPasswordAsked.load(); }

  HRESULT QueryInterface(const GUID& iid, void** object) override {
    void* found = nullptr;
    if (iid == IID_IUnknown || iid == IID_IProgress || iid == IID_IArchiveExtractCallback) {
      found = static_cast<IArchiveExtractCallback*>(this);
    } else if (iid == IID_ICryptoGetTextPassword) {
      found = static_cast<ICryptoGetTextPassword*>(this);
    }
    return AnswerInterface(this, found, object);
  }
  std::uint32_t AddRef() override { return FRefs.Add(); }
  std::uint32_t Release() override { return FRefs.Release(this); }

  HRESULT SetTotal(std::uint64_t total) override {
    return Report(true, static_cast<std::int64_t>(total));
  }
  HRESULT SetCompleted(const std::uint64_t* completed) override {
    if (!completed) return S_OK;
    return Report(false, static_cast<std::int64_t>(*completed));
  }

  HRESULT GetStream(std::uint32_t index, ISequentialOutStream** stream, std::int32_t mode) override {
    if (!stream) return E_INVALIDARG;
    *stream = nullptr;
    try {
      std::lock_guard<std::mutex> guard(FLock);
      FCurrentMode = mode;
      if (FStreamFd >= 0) {
        FCurrentName = index == FStreamIndex ? FStreamName : std::string();
      } else {
        FCurrentName = index < FItems.size() ? FItems[index].Path : std::string();
      }
      // Items that are only tested or skipped (earlier items of a solid block) get none.
      if (mode != kExtractModeExtract) return S_OK;
      if (FStreamFd >= 0) {
        if (index != FStreamIndex) return S_OK;
        T7zStream* out = T7zStream::Create(FStreamFd, TStreamOwnership::soReference, FFailures, FStreamName);
        // The caller's digest outlives the extraction, and nothing is written after it.
        if (FStreamDigest) out->DigestWrites(std::shared_ptr<TWriteDigest>(std::shared_ptr<void>(), FStreamDigest));
        *stream = out;
        return S_OK;
      }
      if (FFolderFd < 0 || index >= FItems.size() || FItems[index].IsFolder) return S_OK;
      const std::string& path = FItems[index].Path;
      std::vector<std::string> parts;
      std::string why;
      if (!SplitItemPath(path, parts, why)) {
        FFailures->Record(why);
        return E_FAIL;
      }
      bool through_link = false;
      const int fd = CreateItemFile(FFolderFd, parts, through_link);
      if (fd < 0) {
        const int error = errno;
        if (through_link) {
          FFailures->Record("Item would be written through a symbolic link " + Quoted(path));
          return E_FAIL;
        }
        FFailures->Record(SystemErrorText(error) + " " + Quoted(path));
        return HResultFromErrno(error);
      }
      T7zStream* out = T7zStream::Create(fd, TStreamOwnership::soOwned, FFailures, path);
      if (FDigestFiles) {
        auto digest = std::make_shared<TWriteDigest>();
        out->DigestWrites(digest);
        std::string joined;
        for (const std::string& part : parts) joined += (joined.empty() ? "" : "/") + part;
        FFileDigests.push_back({std::move(joined), std::move(digest)});
      }
      *stream = out;
      return S_OK;
    } catch (...) {
      return E_OUTOFMEMORY;
    }
  }

  HRESULT PrepareOperation(std::int32_t) override { return S_OK; }

  HRESULT SetOperationResult(std::int32_t result) override {
    try {
      std::lock_guard<std::mutex> guard(FLock);
      // Skipped items are not ours to judge; an item that the library could only test
      // (one it cannot decrypt, say) failed to come out.
      if (result != kOpResultOK && FCurrentMode != kExtractModeSkip) {
        std::string text = OperationResultText(result);
        if (FPasswordAsked.load()) text = "Encrypted item needs a password, which is not available";
        FFailures->Record(text + (FCurrentName.empty() ? "" : " " + Quoted(FCurrentName)));
      }
      return S_OK;
    } catch (...) {
      return E_OUTOFMEMORY;
    }
  }

  HRESULT CryptoGetTextPassword(BSTR* password) override {
    if (password) *password = nullptr;
    FPasswordAsked = true;
    return S_FALSE;
  }

 private:
  friend class TComRefCount;
  ~TExtractCallback() = default;

  HRESULT Report(bool total, std::int64_t value) {
    if (!FProgress) return S_OK;
    // One report at a time, whichever thread of the library it comes from.
    std::lock_guard<std::mutex> guard(FProgressLock);
    const HRESULT answer = FProgress(FSender, total, value);
    if (answer == E_ABORT) FAborted = true;
    return answer;
  }

  TComRefCount FRefs;
  T7zProgressCallback FProgress;
  void* FSender;
  std::shared_ptr<TFailureRecord> FFailures;
  std::atomic<bool> FAborted{false};
  std::atomic<bool> FPasswordAsked{false};
  std::mutex FProgressLock;

  std::mutex FLock;  // the fields below
  std::uint32_t FStreamIndex = 0;
  int FStreamFd = -1;
  std::string FStreamName;
  int FFolderFd = -1;
  std::vector<TItem> FItems;
  TWriteDigest* FStreamDigest = nullptr;
  bool FDigestFiles = false;
  std::vector<TFileDigest> FFileDigests;
  std::int32_t FCurrentMode = kExtractModeSkip;
  std::string FCurrentName;
};

T7zInArchive::T7zInArchive(const std::string& lib) : T7zArchive(lib) {}

T7zInArchive::~T7zInArchive() {
  try {
    CloseArchive();
  } catch (...) {
  }
}

IInArchive* T7zInArchive::InArchive() {
  if (!FInArchive) CreateObject(FClassId, IID_IInArchive, reinterpret_cast<void**>(&FInArchive));
  if (!FInArchive) throw E7zError("The library created no archive object");
  return FInArchive;
}

void T7zInArchive::OpenArchiveFile(const std::string& file_name) {
  IInArchive* archive = InArchive();
  const int fd = ::open(file_name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw E7zError(SystemErrorText(errno) + " " + Quoted(file_name));
  TReleaser<T7zStream> stream(T7zStream::Create(fd, TStreamOwnership::soOwned));
  TReleaser<TOpenCallback> callback(new TOpenCallback);
  const std::uint64_t max_check_start = 1048576;
  const HRESULT result = archive->Open(stream.Get(), &max_check_start, callback.Get());
  FSubArchiveMode = callback->SubArchiveName(FSubArchiveName);
  // No progress receiver takes part in opening, so even E_ABORT means not opened.
  if (result != S_OK) throw E7zError(HResultText(result));
}

void T7zInArchive::CloseArchive() {
  FSubArchiveMode = false;
  FSubArchiveName.clear();
  if (!FInArchive) return;
  FInArchive->Close();
  FInArchive->Release();
  FInArchive = nullptr;
}

std::uint32_t T7zInArchive::ItemCount() {
  std::uint32_t count = 0;
  Check(InArchive()->GetNumberOfItems(&count));
  return count;
}

std::string T7zInArchive::ItemPathAt(std::uint32_t index) {
  PROPVARIANT value{};
  InArchive()->GetProperty(index, kpidPath, &value);
  std::string path;
  if (value.vt == VT_BSTR) path = Utf8FromWide(value.bstrVal);
  ClearVariant(value);
  // The ISO handler widens Rock Ridge names byte by byte; they are UTF-8 on every
  // system that writes them.
  if (FClassId == kClassIdIso) path = RepairByteWidenedName(path);
  return path;
}

std::int64_t T7zInArchive::ItemSizeAt(std::uint32_t index) {
  PROPVARIANT value{};
  InArchive()->GetProperty(index, kpidSize, &value);
  std::int64_t size = 0;
  switch (value.vt) {
    case VT_UI8: size = static_cast<std::int64_t>(value.uhVal); break;
    case VT_I8: size = value.hVal; break;
    case VT_UI4: case VT_UINT: size = value.ulVal; break;
    case VT_I4: case VT_INT: size = value.lVal; break;
    case VT_UI2: size = value.uiVal; break;
    case VT_I2: size = value.iVal; break;
    case VT_UI1: size = value.bVal; break;
    case VT_I1: size = value.cVal; break;
    default: break;
  }
  ClearVariant(value);
  return size;
}

bool T7zInArchive::IsFolderAt(std::uint32_t index) {
  PROPVARIANT value{};
  InArchive()->GetProperty(index, kpidIsDir, &value);
  const bool folder = value.vt == VT_BOOL && value.boolVal != 0;
  ClearVariant(value);
  return folder;
}

void T7zInArchive::Extract(const std::uint32_t* indices, std::uint32_t count, bool test,
                           TExtractCallback& callback) {
  const HRESULT result = InArchive()->Extract(indices, count, test ? 1 : 0, &callback);
  callback.Detach();
  if (result == E_ABORT && callback.AbortedByProgress()) return;
  if (callback.Failures()->Any()) throw E7zError(callback.Failures()->First());
  // E_ABORT that no progress report asked for is a failure of the library's own.
  if (result != S_OK) throw E7zError(HResultText(result));
}

void T7zInArchive::ExtractItemTo(std::uint32_t index, int fd, bool test, TWriteDigest* digest) {
  std::string name = ItemPathAt(index);
  TReleaser<TExtractCallback> callback(new TExtractCallback(FProgressCallback, FProgressSender));
  callback->TargetStream(index, fd, std::move(name), digest);
  Extract(&index, 1, test, *callback.Get());
}

void T7zInArchive::ExtractAllTo(const std::string& path, TWrittenFiles* written) {
  FExtractPath = WithTrailingSlash(path);
  struct TClearPath {
    std::string& path;
    ~TClearPath() { path.clear(); }
  } clear_path{FExtractPath};

  const std::uint32_t count = ItemCount();
  std::vector<TExtractCallback::TItem> items(count);
  for (std::uint32_t i = 0; i < count; ++i) {
    items[i].Path = ItemPathAt(i);
    items[i].IsFolder = IsFolderAt(i);
  }
  std::error_code ec;
  std::filesystem::create_directories(FExtractPath, ec);
  if (ec) throw E7zError(SystemErrorText(ec.value()) + " " + Quoted(FExtractPath));
  const int folder = ::open(FExtractPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder < 0) throw E7zError(SystemErrorText(errno) + " " + Quoted(FExtractPath));
  struct TCloseFolder {
    int fd;
    ~TCloseFolder() { ::close(fd); }
  } close_folder{folder};

  TReleaser<TExtractCallback> callback(new TExtractCallback(FProgressCallback, FProgressSender));
  callback->TargetFolder(folder, std::move(items), written != nullptr);
  Extract(nullptr, 0xFFFFFFFFu, false, *callback.Get());
  if (callback->AbortedByProgress()) return;
  // Nothing counts as unpacked before it is on the drive. On ntfs-3g syncfs only hands
  // the data to the driver; the device's own flush takes it to the disk.
  if (::syncfs(folder) != 0) throw E7zError(SystemErrorText(errno) + " " + Quoted(FExtractPath));
  if (std::string error; !FlushFuseBlockDevice(folder, error)) throw E7zError(error);
  if (!written) return;
  for (const TExtractCallback::TFileDigest& file : callback->FileDigests()) {
    // The library writes each item from its start to its end; anything else could not be
    // checked against what reaches the drive.
    if (!file.Digest->InOrder()) throw E7zError("Item was not written in order " + Quoted(file.Path));
    written->Add(file.Digest->Finish(FExtractPath + file.Path));
  }
}

void T7zInArchive::SetProgressHandler(void* sender, T7zProgressCallback callback) {
  FProgressSender = sender;
  FProgressCallback = callback;
}

void T7zInArchive::SetFormat(const GUID& classid) { FClassId = classid; }

}  // namespace quorvane
