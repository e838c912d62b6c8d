// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Facts of the installed archive library that the binding depends on. A new build of
// the library could change any of them; these tests say which.
#include <dlfcn.h>
#include <fcntl.h>

#include <atomic>
#include <cwchar>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "archive/sevenzip.h"
#include "fixtures.h"
#include "support/temp_dir.h"

namespace quorvane {
namespace {

using namespace sevenzip;
using testing::MakeIso;
using testing::Make7z;
using testing::MakeTree;
using testing::TTempDir;

// A second load of the library, for its exported symbols.
class TLibrary {
 public:
  TLibrary() : FHandle(::dlopen(Lib7zPath().c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_DEEPBIND)) {}
  ~TLibrary() {
    if (FHandle) ::dlclose(FHandle);
  }
  template <typename T>
  T Symbol(const char* name) const {
    return reinterpret_cast<T>(::dlsym(FHandle, name));
  }
  bool Loaded() const { return FHandle != nullptr; }

 private:
  void* FHandle;
};

T7zInArchiveRef OpenWith(const GUID& classid, const std::string& file) {
  T7zInArchiveRef archive;
  EXPECT_TRUE(TryOpenArchive(file, classid, archive)) << file;
  return archive;
}

// An extract callback that writes nothing and records how the library calls it.
class TRecordingCallback final : public IArchiveExtractCallback {
 public:
  HRESULT QueryInterface(const GUID& iid, void** object) override {
    if (iid == IID_IUnknown || iid == IID_IProgress || iid == IID_IArchiveExtractCallback) {
      *object = static_cast<IArchiveExtractCallback*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  std::uint32_t AddRef() override { return ++refs; }
  std::uint32_t Release() override { return --refs; }
  HRESULT SetTotal(std::uint64_t) override { return S_OK; }
  HRESULT SetCompleted(const std::uint64_t*) override {
    Note();
    ++completed_calls;
    return answer_progress;
  }
  HRESULT GetStream(std::uint32_t index, ISequentialOutStream** stream, std::int32_t mode) override {
    std::lock_guard<std::mutex> guard(lock);
    asked.emplace_back(index, mode);
    *stream = mode == kExtractModeExtract ? &sink : nullptr;
    if (*stream) sink.AddRef();
    return S_OK;
  }
  HRESULT PrepareOperation(std::int32_t) override { return S_OK; }
  HRESULT SetOperationResult(std::int32_t) override {
    Note();
    return S_OK;
  }

  void Note() {
    std::lock_guard<std::mutex> guard(lock);
    threads.insert(std::this_thread::get_id());
  }

  class TSink final : public ISequentialOutStream {
   public:
    explicit TSink(TRecordingCallback& owner) : FOwner(owner) {}
    HRESULT QueryInterface(const GUID& iid, void** object) override {
      if (iid == IID_IUnknown || iid == IID_ISequentialOutStream) {
        *object = this;
        AddRef();
        return S_OK;
      }
      *object = nullptr;
      return E_NOINTERFACE;
    }
    std::uint32_t AddRef() override { return ++refs; }
    std::uint32_t Release() override { return --refs; }
    HRESULT Write(const void*, std::uint32_t size, std::uint32_t* processed) override {
      FOwner.Note();
      FOwner.written += size;
      if (processed) *processed = size;
      return S_OK;
    }
    std::atomic<int> refs{0};

   private:
    TRecordingCallback& FOwner;
  };

  std::atomic<int> refs{1};
  HRESULT answer_progress = S_OK;
  std::atomic<int> completed_calls{0};
  std::atomic<std::uint64_t> written{0};
  TSink sink{*this};
  std::mutex lock;
  std::vector<std::pair<std::uint32_t, std::int32_t>> asked;
  std::set<std::thread::id> threads;
};

class SevenZipFacts : public ::testing::Test {
 protected:
  void SetUp() override {
    MakeTree(temp / "tree", {{"casper/vmlinuz", "kernel"},
                             {"casper/initrd.lz", "initrd"},
                             {"names/\xC3\xA9t\xC3\xA9.txt", "summer"}});
    MakeIso(temp / "tree", temp / "plain.iso", false);
    MakeIso(temp / "tree", temp / "joliet.iso", true);
  }
  TTempDir temp;
};

TEST_F(SevenZipFacts, InterfaceIdsAreTheLibrarysOwn) {
  TLibrary library;
  ASSERT_TRUE(library.Loaded()) << Lib7zPath();
  const std::vector<std::pair<const char*, GUID>> ids = {
      {"IID_IUnknown", IID_IUnknown},
      {"IID_IProgress", IID_IProgress},
      {"IID_ISequentialInStream", IID_ISequentialInStream},
      {"IID_ISequentialOutStream", IID_ISequentialOutStream},
      {"IID_IInStream", IID_IInStream},
      {"IID_IOutStream", IID_IOutStream},
      {"IID_IStreamGetSize", IID_IStreamGetSize},
      {"IID_ICryptoGetTextPassword", IID_ICryptoGetTextPassword},
      {"IID_IArchiveOpenCallback", IID_IArchiveOpenCallback},
      {"IID_IArchiveExtractCallback", IID_IArchiveExtractCallback},
      {"IID_IArchiveOpenVolumeCallback", IID_IArchiveOpenVolumeCallback},
      {"IID_IArchiveOpenSetSubArchiveName", IID_IArchiveOpenSetSubArchiveName},
      {"IID_IInArchive", IID_IInArchive},
  };
  for (const auto& [name, id] : ids) {
    const auto* exported = library.Symbol<const GUID*>(name);
    ASSERT_NE(exported, nullptr) << name;
    EXPECT_TRUE(*exported == id) << name;
  }
}

TEST_F(SevenZipFacts, VtableHasNoDestructorSlot) {
  // QueryInterface, AddRef, Release, then Open, Close, GetNumberOfItems: the sixth slot.
  T7zInArchiveRef archive = OpenWith(kClassIdIso, temp / "joliet.iso");
  ASSERT_TRUE(archive);
  void* object = archive->InArchive();
  using TGetCount = HRESULT (*)(void*, std::uint32_t*);
  TGetCount get_count = (*reinterpret_cast<TGetCount**>(object))[5];
  std::uint32_t count = 0;
  ASSERT_EQ(get_count(object, &count), S_OK);
  EXPECT_EQ(count, archive->ItemCount());
  EXPECT_EQ(count, 5u);  // casper, 2 files, names, 1 file
}

TEST_F(SevenZipFacts, StringsAreLibraryAllocatedWideBstrs) {
  TLibrary library;
  auto alloc = library.Symbol<SysAllocStringFunc>("SysAllocString");
  auto free_string = library.Symbol<SysFreeStringFunc>("SysFreeString");
  ASSERT_TRUE(alloc && free_string && library.Symbol<VariantClearFunc>("VariantClear"));
  BSTR text = alloc(L"abc");
  ASSERT_NE(text, nullptr);
  // A 4-byte byte length just before the characters: the block starts 4 bytes earlier.
  EXPECT_EQ(reinterpret_cast<const std::uint32_t*>(text)[-1], 3 * sizeof(wchar_t));
  EXPECT_EQ(std::wcslen(text), 3u);
  free_string(text);

  T7zInArchiveRef archive = OpenWith(kClassIdIso, temp / "joliet.iso");
  ASSERT_TRUE(archive);
  PROPVARIANT value{};
  archive->InArchive()->GetProperty(1, kpidPath, &value);
  ASSERT_EQ(value.vt, VT_BSTR);
  EXPECT_EQ(reinterpret_cast<const std::uint32_t*>(value.bstrVal)[-1],
            std::wcslen(value.bstrVal) * sizeof(wchar_t));
  library.Symbol<VariantClearFunc>("VariantClear")(&value);
  EXPECT_EQ(value.vt, VT_EMPTY);
}

TEST_F(SevenZipFacts, ProgramDefinesNoneOfTheLibrarysGenericNames) {
  T7zInArchiveRef archive = OpenWith(kClassIdIso, temp / "joliet.iso");
  ASSERT_TRUE(archive);
  // Loaded locally, the library's names stay out of the global scope, and the program
  // has none of its own that the library could bind to by mistake.
  for (const char* name : {"SysAllocString", "SysFreeString", "VariantClear", "GetLastError",
                           "SetLastError", "CreateObject"})
    EXPECT_EQ(::dlsym(RTLD_DEFAULT, name), nullptr) << name;
}

TEST_F(SevenZipFacts, PathsUseSlashWithoutLeadingOne) {
  T7zInArchiveRef archive = OpenWith(kClassIdIso, temp / "joliet.iso");
  ASSERT_TRUE(archive);
  std::set<std::string> paths;
  for (std::uint32_t i = 0; i < archive->ItemCount(); ++i) paths.insert(archive->ItemPathAt(i));
  EXPECT_TRUE(paths.count("casper/vmlinuz"));
  for (const std::string& p : paths) EXPECT_NE(p.front(), '/') << p;
}

TEST_F(SevenZipFacts, UdfHandlerAnswersFalseForPlainIso) {
  auto archive = NewInArchive(kClassIdUdf, Lib7zPath());
  std::uint64_t limit = 1 << 20;
  // Through our own stream and no callback: the raw answer of the handler.
  const int fd = ::open((temp / "plain.iso").c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  T7zStream* stream = T7zStream::Create(fd, TStreamOwnership::soOwned);
  EXPECT_EQ(archive->InArchive()->Open(stream, &limit, nullptr), S_FALSE);
  stream->Release();
  // So probing goes on to ISO 9660.
  T7zInArchiveRef probed;
  ASSERT_TRUE(OpenArchive(temp / "plain.iso", probed));
  EXPECT_TRUE(probed->ClassId() == kClassIdIso);
}

TEST_F(SevenZipFacts, RockRidgeNamesComeBackOneBytePerCharacter) {
  for (const char* image : {"plain.iso", "joliet.iso"}) {
    T7zInArchiveRef archive = OpenWith(kClassIdIso, temp / image);
    ASSERT_TRUE(archive);
    std::int32_t index = FindArchiveItem(archive, "names\\\xC3\xA9t\xC3\xA9.txt");
    ASSERT_GE(index, 0) << image << ": the binding gives the name back in UTF-8";
    PROPVARIANT value{};
    archive->InArchive()->GetProperty(index, kpidPath, &value);
    ASSERT_EQ(value.vt, VT_BSTR);
    const std::wstring raw = value.bstrVal;
    TLibrary().Symbol<VariantClearFunc>("VariantClear")(&value);
    if (std::string(image) == "plain.iso") {
      EXPECT_EQ(raw, std::wstring(L"names/\u00C3\u00A9t\u00C3\u00A9.txt")) << "Rock Ridge only";
    } else {
      EXPECT_EQ(raw, std::wstring(L"names/\u00E9t\u00E9.txt")) << "Joliet";
    }
  }
}

TEST_F(SevenZipFacts, ExtractReturnsAbortWhenProgressAnsweredAbort) {
  // A 32-bit E_ABORT answer is seen as a failure by the library: results are 32-bit.
  MakeTree(temp / "big", {{"a.bin", std::string(4 << 20, 'a')}, {"b.bin", std::string(4 << 20, 'b')}});
  Make7z(temp / "big", temp / "big.7z", {"-mx=1"});
  T7zInArchiveRef archive = OpenWith(FormatClassId(0x07), temp / "big.7z");
  ASSERT_TRUE(archive);
  TRecordingCallback callback;
  callback.answer_progress = E_ABORT;
  EXPECT_EQ(archive->InArchive()->Extract(nullptr, 0xFFFFFFFFu, 0, &callback), E_ABORT);
  EXPECT_EQ(callback.completed_calls.load(), 1);
  EXPECT_LT(callback.written.load(), 8u << 20);
}

TEST_F(SevenZipFacts, SolidArchiveAsksForEarlierItemsInSkipMode) {
  MakeTree(temp / "solid", {{"a.txt", "first"}, {"b.txt", "second"}, {"c.txt", "third"}});
  Make7z(temp / "solid", temp / "solid.7z", {"-ms=on"});
  T7zInArchiveRef archive = OpenWith(FormatClassId(0x07), temp / "solid.7z");
  ASSERT_TRUE(archive);
  const std::int32_t last = FindArchiveItem(archive, "c.txt");
  ASSERT_EQ(last, 2);
  TRecordingCallback callback;
  const std::uint32_t index = 2;
  ASSERT_EQ(archive->InArchive()->Extract(&index, 1, 0, &callback), S_OK);
  const std::vector<std::pair<std::uint32_t, std::int32_t>> expected = {
      {0, kExtractModeSkip}, {1, kExtractModeSkip}, {2, kExtractModeExtract}};
  EXPECT_EQ(callback.asked, expected);
  EXPECT_EQ(callback.written.load(), 5u);
}

TEST_F(SevenZipFacts, MultithreadedExtractionCallsBackOnLibraryThreads) {
  // Enough data in enough blocks for the decoder to use several threads.
  std::string data(24 << 20, '\0');
  std::uint32_t x = 12345;
  for (char& c : data) {
    x = x * 1103515245u + 12345u;
    c = static_cast<char>("abcdefgh"[(x >> 16) & 7]);
  }
  MakeTree(temp / "mt", {{"data.bin", data}});
  Make7z(temp / "mt", temp / "mt.7z", {"-m0=lzma2", "-mx=1", "-mmt=2", "-md=1m"});
  T7zInArchiveRef archive = OpenWith(FormatClassId(0x07), temp / "mt.7z");
  ASSERT_TRUE(archive);
  TRecordingCallback callback;
  ASSERT_EQ(archive->InArchive()->Extract(nullptr, 0xFFFFFFFFu, 0, &callback), S_OK);
  EXPECT_EQ(callback.written.load(), data.size());
  callback.threads.erase(std::this_thread::get_id());
  EXPECT_FALSE(callback.threads.empty()) << "every call came on the caller's thread";
}

}  // namespace
}  // namespace quorvane
