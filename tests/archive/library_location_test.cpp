// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Where the archive library is loaded from, and the program's private temporary folder.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>

#include "archive/library_location.h"
#include "archive/sevenzip.h"
#include "common/text.h"
#include "support/temp_dir.h"

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using testing::TTempDir;
using testing::WriteFile;

// Sets an environment variable for one test and puts back what was there.
class TScopedEnv {
 public:
  // No value: the variable is unset for the test.
  TScopedEnv(const char* name, const char* value) : FName(name) {
    if (const char* old = std::getenv(name)) FOld = old, FHad = true;
    if (value) ::setenv(name, value, 1);
    else ::unsetenv(name);
  }
  TScopedEnv(const char* name, const std::string& value) : TScopedEnv(name, value.c_str()) {}
  ~TScopedEnv() {
    if (FHad) ::setenv(FName, FOld.c_str(), 1);
    else ::unsetenv(FName);
    Prepare7zLibrary();
  }

 private:
  const char* FName;
  std::string FOld;
  bool FHad = false;
};

class LibraryLocation : public ::testing::Test {
 protected:
  // A copy of the installed library in a folder of the test's own.
  std::string CopyLibrary(const std::string& folder, mode_t folder_mode, mode_t file_mode) {
    fs::create_directories(folder);
    const std::string lib = folder + "/7z.so";
    fs::copy_file(kInstalled7zLibrary, lib, fs::copy_options::overwrite_existing);
    ::chmod(lib.c_str(), file_mode);
    ::chmod(folder.c_str(), folder_mode);
    return lib;
  }
  TTempDir temp;
};

TEST_F(LibraryLocation, InstalledLibraryIsUsedAndPrepared) {
  ASSERT_EQ(std::getenv("QUORVANE_7Z_LIBRARY"), nullptr);
  EXPECT_TRUE(Prepare7zLibrary());
  EXPECT_EQ(Lib7zPath(), "/usr/lib/p7zip/7z.so");
}

TEST_F(LibraryLocation, LibraryNamedByTheEnvironmentIsChecked) {
  struct TCase {
    const char* name;
    mode_t folder_mode, file_mode;
    bool loads;
  };
  const TCase cases[] = {
      {"private", 0700, 0644, true},
      {"shared-folder", 0777, 0644, false},
      {"writable-file", 0755, 0666, false},
      {"group-writable-folder", 0775, 0644, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string lib = CopyLibrary(temp / c.name, c.folder_mode, c.file_mode);
    TScopedEnv env("QUORVANE_7Z_LIBRARY", lib);
    EXPECT_EQ(Prepare7zLibrary(), c.loads);
    EXPECT_EQ(Lib7zPath(), lib);
    std::string why;
    EXPECT_EQ(PathIsTrusted(lib, why), c.loads) << why;
    if (!c.loads) {
      EXPECT_EQ(Lib7zStartupErrorMessage(),
                "Error with unpacking 7z.dll to temporary folder " + lib +
                    "\r\nApplication could not run without it...");
      try {
        T7zPlugin plugin(lib);
        ADD_FAILURE() << "loaded from a place others can write";
      } catch (const E7zError& error) {
        EXPECT_EQ(std::string(error.what()), "Error loading library " + lib);
      }
    }
  }
}

TEST_F(LibraryLocation, MissingOrForeignLibraryFails) {
  const std::string missing = temp / "nothing/7z.so";
  {
    TScopedEnv env("QUORVANE_7Z_LIBRARY", missing);
    EXPECT_FALSE(Prepare7zLibrary());
    EXPECT_EQ(Lib7zStartupErrorMessage(),
              "Error with unpacking 7z.dll to temporary folder " + missing +
                  "\r\nApplication could not run without it...");
    // Nothing opens then.
    T7zInArchiveRef archive;
    EXPECT_FALSE(OpenArchive(kInstalled7zLibrary, archive));
  }
  // A shared library that is no 7-Zip library.
  const std::string foreign = "/lib/x86_64-linux-gnu/libuuid.so.1";
  ASSERT_TRUE(fs::exists(foreign));
  try {
    T7zArchive plugin(foreign);
    ADD_FAILURE() << "loaded a foreign library";
  } catch (const E7zError& error) {
    EXPECT_EQ(std::string(error.what()), foreign + " is not a 7z library");
  }
  const std::string not_a_library = temp / "plain/7z.so";
  WriteFile(not_a_library, "text");
  try {
    T7zPlugin plugin(not_a_library);
    ADD_FAILURE();
  } catch (const E7zError& error) {
    EXPECT_EQ(std::string(error.what()), "Error loading library " + not_a_library);
  }
}

TEST_F(LibraryLocation, TemporaryFolderIsPrivate) {
  {
    TScopedEnv runtime("XDG_RUNTIME_DIR", temp.path());
    const std::string folder = GetProgramTempFolder();
    EXPECT_EQ(folder, temp / "Quorvane/");
    struct stat info {};
    ASSERT_EQ(::lstat(folder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0700u);
    EXPECT_TRUE(Prepare7zLibrary());
    EXPECT_EQ(TempFolder(), folder);

    // A folder that others can write, or a link in its place, is not taken: the program
    // makes a private folder of another name instead.
    ::chmod(folder.c_str(), 0777);
    EXPECT_TRUE(Prepare7zLibrary());
    const std::string other = TempFolder();
    EXPECT_EQ(other.rfind(temp / "Quorvane-", 0), 0u) << other;
    ASSERT_EQ(::lstat(other.c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(info.st_mode & 07777, 0700u);
    // The same run keeps that one.
    EXPECT_TRUE(Prepare7zLibrary());
    EXPECT_EQ(TempFolder(), other);
    fs::remove(folder);
    fs::create_directories(temp / "elsewhere");
    fs::create_directory_symlink(temp / "elsewhere", temp / "Quorvane");
    EXPECT_TRUE(Prepare7zLibrary());
    EXPECT_NE(TempFolder(), folder);
    fs::remove(other);
  }
  {
    // Without a runtime folder: the temporary folder, under a name with our user id.
    TScopedEnv runtime("XDG_RUNTIME_DIR", nullptr);
    TScopedEnv tmp("TMPDIR", temp / "tmp");
    fs::create_directories(temp / "tmp");
    EXPECT_EQ(GetProgramTempFolder(), temp / ("tmp/Quorvane-" + std::to_string(::geteuid()) + "/"));
    EXPECT_TRUE(Prepare7zLibrary());
  }
}

TEST_F(LibraryLocation, TemporaryFolderPlantedByAnotherUserIsLeftAlone) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a folder to another user";
  TScopedEnv runtime("XDG_RUNTIME_DIR", nullptr);
  TScopedEnv tmp("TMPDIR", temp / "tmp");
  fs::create_directories(temp / "tmp");
  ::chmod((temp / "tmp").c_str(), 01777);
  const std::string planted = temp / ("tmp/Quorvane-" + std::to_string(::geteuid()));
  fs::create_directories(planted);
  ASSERT_EQ(::chown(planted.c_str(), 65534, 65534), 0);
  ::chmod(planted.c_str(), 0755);
  EXPECT_TRUE(Prepare7zLibrary()) << Lib7zStartupErrorMessage();
  const std::string folder = TempFolder();
  EXPECT_NE(folder, planted + "/");
  struct stat info {};
  ASSERT_EQ(::lstat(folder.c_str(), &info), 0);
  EXPECT_EQ(info.st_uid, ::geteuid());
  EXPECT_EQ(info.st_mode & 07777, 0700u);
  // The planted folder is not touched.
  ASSERT_EQ(::lstat(planted.c_str(), &info), 0);
  EXPECT_EQ(info.st_uid, 65534u);
  fs::remove(folder);
}

TEST_F(LibraryLocation, NoPrivateTemporaryFolderSaysWhatWasFound) {
  // The temporary folder's place is a plain file: neither the usual name nor another one
  // can be made there.
  TScopedEnv runtime("XDG_RUNTIME_DIR", nullptr);
  WriteFile(temp / "tmp", "a file");
  TScopedEnv tmp("TMPDIR", temp / "tmp");
  EXPECT_FALSE(Prepare7zLibrary());
  const std::string usual = temp / ("tmp/Quorvane-" + std::to_string(::geteuid()));
  EXPECT_EQ(Lib7zStartupErrorMessage(),
            "The program cannot start: no private temporary folder can be made: " + usual +
                " is taken (Not a directory) and " + temp / "tmp" +
                " takes no other (Not a directory)\r\nApplication could not run without it...");
}

// A link on the way to the library is followed only when root or the running user owns it:
// in a sticky folder another user can put (or flip) a link of their own, never one of ours.
TEST_F(LibraryLocation, LinksOfAnotherUserAreNotFollowed) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a link to another user";
  const std::string sticky = temp / "sticky";
  fs::create_directories(sticky);
  ::chmod(sticky.c_str(), 01777);
  const std::string lib = CopyLibrary(temp / "lib", 0755, 0644);
  fs::create_directories(temp / "libs");
  struct TCase {
    const char* name;
    std::string link_target;  // the link made in the sticky folder, and what it names
    std::string path;         // what is loaded
    uid_t link_owner;
    bool loads;
  };
  const TCase cases[] = {
      {"own link to the file", lib, sticky + "/own.so", 0, true},
      {"foreign link to the file", lib, sticky + "/foreign.so", 65534, false},
      {"own link to the folder", temp / "lib", sticky + "/own-dir/7z.so", 0, true},
      {"foreign link to the folder", temp / "lib", sticky + "/foreign-dir/7z.so", 65534, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string link = c.path.substr(0, c.path.find('/', sticky.size() + 1));
    fs::create_symlink(c.link_target, link);
    ASSERT_EQ(::lchown(link.c_str(), c.link_owner, c.link_owner), 0);
    std::string why;
    EXPECT_EQ(PathIsTrusted(c.path, why), c.loads) << why;
    if (!c.loads) EXPECT_EQ(why, "the link " + Quoted(link) + " belongs to another user");
    try {
      T7zArchive plugin(c.path);
      EXPECT_TRUE(c.loads);
    } catch (const E7zError& error) {
      EXPECT_FALSE(c.loads) << error.what();
      EXPECT_EQ(std::string(error.what()), "Error loading library " + c.path);
    }
    TScopedEnv env("QUORVANE_7Z_LIBRARY", c.path);
    EXPECT_EQ(Prepare7zLibrary(), c.loads);
    EXPECT_EQ(ArchiveLibraryProblem().empty(), c.loads) << ArchiveLibraryProblem();
  }
}

// Only a regular file is opened as the library.
TEST_F(LibraryLocation, OnlyARegularFileIsOpened) {
  fs::create_directories(temp / "lib");
  std::string why;
  const struct {
    std::string path;
    const char* why;
  } refused[] = {
      {temp / "lib", "not a regular file"},
      {"/dev/null", "not a regular file"},
      {temp / "nothing.so", "No such file or directory"},
  };
  for (const auto& r : refused) {
    SCOPED_TRACE(r.path);
    EXPECT_LT(OpenTrustedFile(r.path, why), 0);
    EXPECT_EQ(why, r.why);
  }
}

TEST_F(LibraryLocation, FolderOfAnotherUserIsRefused) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a folder to another user";
  const std::string folder = temp / "theirs";
  fs::create_directories(folder);
  ::chmod(folder.c_str(), 0700);
  ASSERT_EQ(::chown(folder.c_str(), 65534, 65534), 0);
  std::string why;
  EXPECT_FALSE(FolderIsPrivate(folder, why));
  EXPECT_EQ(why, "the folder belongs to another user");
  const std::string lib = CopyLibrary(temp / "lib-theirs", 0755, 0644);
  ASSERT_EQ(::chown(lib.c_str(), 65534, 65534), 0);
  EXPECT_FALSE(PathIsTrusted(lib, why));
}

}  // namespace
}  // namespace quorvane
