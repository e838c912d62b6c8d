// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "archive/sevenzip.h"
#include "common/text.h"

namespace quorvane {

using namespace sevenzip;

void TFailureRecord::Record(const std::string& message) {
  std::lock_guard<std::mutex> guard(FLock);
  if (FAny) return;
  FAny = true;
  FFirst = message;
}

bool TFailureRecord::Any() const {
  std::lock_guard<std::mutex> guard(FLock);
  return FAny;
}

std::string TFailureRecord::First() const {
  std::lock_guard<std::mutex> guard(FLock);
  return FFirst;
}

T7zStream* T7zStream::Create(int fd, TStreamOwnership ownership,
                             std::shared_ptr<TFailureRecord> failures, std::string name) {
  return new T7zStream(fd, ownership, std::move(failures), std::move(name));
}

T7zStream::T7zStream(int fd, TStreamOwnership ownership, std::shared_ptr<TFailureRecord> failures,
                     std::string name)
    : FStream(fd), FOwnership(ownership), FFailures(std::move(failures)), FName(std::move(name)) {}

T7zStream::~T7zStream() {
  if (FOwnership != TStreamOwnership::soOwned || FStream < 0) return;
  // Start writing the file out now; the extraction waits for it once at its end.
  if (FWritten) ::sync_file_range(FStream, 0, 0, SYNC_FILE_RANGE_WRITE);
  if (::close(FStream) != 0 && FFailures && FWritten)
    FFailures->Record(SystemErrorText(errno) + " " + Quoted(FName));
}

HRESULT T7zStream::QueryInterface(const GUID& iid, void** object) {
  void* found = nullptr;
  if (iid == IID_IUnknown || iid == IID_ISequentialInStream || iid == IID_IInStream) {
    found = static_cast<IInStream*>(this);
  } else if (iid == IID_ISequentialOutStream || iid == IID_IOutStream) {
    found = static_cast<IOutStream*>(this);
  } else if (iid == IID_IStreamGetSize) {
    found = static_cast<IStreamGetSize*>(this);
  } else if (iid == IID_IOutStreamFlush) {
    found = static_cast<IOutStreamFlush*>(this);
  }
  return AnswerInterface(this, found, object);
}

std::uint32_t T7zStream::AddRef() { return FRefs.Add(); }

std::uint32_t T7zStream::Release() { return FRefs.Release(this); }

HRESULT T7zStream::Read(void* data, std::uint32_t size, std::uint32_t* processed) {
  if (processed) *processed = 0;
  while (true) {
    const ssize_t count = ::read(FStream, data, size);
    if (count >= 0) {
      if (processed) *processed = static_cast<std::uint32_t>(count);
      return S_OK;
    }
    if (errno != EINTR) return HResultFromErrno(errno);
  }
}

HRESULT T7zStream::Write(const void* data, std::uint32_t size, std::uint32_t* processed) {
  if (processed) *processed = 0;
  const auto* bytes = static_cast<const char*>(data);
  std::uint32_t done = 0;
  while (done < size) {
    const ssize_t count = ::write(FStream, bytes + done, size - done);
    if (count < 0) {
      if (errno == EINTR) continue;
      const int error = errno;
      if (FFailures) FFailures->Record(SystemErrorText(error) + " " + Quoted(FName));
      if (processed) *processed = done;
      return HResultFromErrno(error);
    }
    if (FDigest) FDigest->Add(bytes + done, static_cast<std::size_t>(count), FPosition);
    FPosition += static_cast<std::uint64_t>(count);
    done += static_cast<std::uint32_t>(count);
    FWritten = true;
  }
  if (processed) *processed = done;
  return S_OK;
}

HRESULT T7zStream::Seek(std::int64_t offset, std::uint32_t origin, std::uint64_t* position) {
  // The library's origins 0, 1, 2 are SEEK_SET, SEEK_CUR, SEEK_END.
  if (origin > 2) return E_INVALIDARG;
  const off_t result = ::lseek(FStream, offset, static_cast<int>(origin));
  if (result < 0) return HResultFromErrno(errno);
  FPosition = static_cast<std::uint64_t>(result);
  if (position) *position = static_cast<std::uint64_t>(result);
  return S_OK;
}

HRESULT T7zStream::SetSize(std::uint64_t size) {
  if (::ftruncate(FStream, static_cast<off_t>(size)) != 0) return HResultFromErrno(errno);
  return S_OK;
}

HRESULT T7zStream::GetSize(std::uint64_t* size) {
  struct stat info {};
  if (::fstat(FStream, &info) != 0) return HResultFromErrno(errno);
  if (size) *size = static_cast<std::uint64_t>(info.st_size);
  return S_OK;
}

HRESULT T7zStream::Flush() { return S_OK; }

}  // namespace quorvane
