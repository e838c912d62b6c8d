// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Drive, file and session commands over HTTP, the relay to the remote service, and the
// module's parts on their own: form fields, the event queue, the event procedures.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "../service/fake_service.h"
#include "common/session_state.h"
#include "common/text.h"
#include "drive/usb_drives.h"
#include "jobs/jobs.h"
#include "server_fixture.h"
#include "service/service_client.h"

namespace quorvane::testing {
namespace {

class SessionCommands : public ControlServerTest {
 protected:
  void SetUp() override { StartServer(); }
  void TearDown() override {
    unsetenv("QUORVANE_FILE_DIALOG");
    SetSessionId("");
  }

  // A stand-in dialog program: writes its arguments one a line to `args`, prints `answer`
  // and exits with `status`.
  void InstallDialog(const std::string& answer, int status) {
    const std::string script = temp / "dialog.sh";
    WriteFile(script, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" +
                          temp / "args" + "'\nprintf '%s\\n' '" + answer + "'\nexit " +
                          std::to_string(status) + "\n");
    ::chmod(script.c_str(), 0755);
    setenv("QUORVANE_FILE_DIALOG", script.c_str(), 1);
  }
  std::string DialogArgs() { return ReadFile(temp / "args"); }
};

TEST_F(SessionCommands, FileDialogGivesPathSizeAndNtfsNeed) {
  const std::string iso = temp / "small image.iso";
  WriteFile(iso, std::string(1234, 'x'));
  InstallDialog(iso, 0);
  EXPECT_EQ(Command({{"Operation", "FlOpnDlg"}, {"Name", "Parted Magic"}, {"Id", "7"}}).body,
            "{\"Path\":\"" + ReplaceAll(iso, "/", "\\/") +
                "\",\"Size\":\"1234\",\"NeedNTFS\":\"0\"}");
  EXPECT_EQ(DialogArgs(),
            "--file-selection\n--title=Select \"Parted Magic\" ISO file\n"
            "--file-filter=ISO files | *.iso\n");
  Command({{"Operation", "FlOpnDlg"}});
  EXPECT_EQ(DialogArgs(),
            "--file-selection\n--title=Select ISO file with chosen loader\n"
            "--file-filter=ISO files | *.iso\n");
}

TEST_F(SessionCommands, AnIdThatIsNoNumberCountsAsClonezilla) {
  const std::string iso = temp / "big.iso";
  {
    std::ofstream out(iso);
  }
  if (::truncate(iso.c_str(), 5000000000LL) != 0) GTEST_SKIP() << "no sparse 5 GB file here";
  InstallDialog(iso, 0);
  const std::string body = Command({{"Operation", "FlOpnDlg"}, {"Id", "abc"}}).body;
  EXPECT_THAT(body, ::testing::EndsWith(R"(","Size":"5000000000","NeedNTFS":"-1"})"));
}

TEST_F(SessionCommands, FileDialogRefusals) {
  struct TCase {
    const char* name;
    std::string answer;
    int status;
    std::string reply;
  };
  const std::string missing = temp / "gone.iso";
  const TCase cases[] = {
      {"cancelled", "", 1, R"({"Error":"Dialog cancelled"})"},
      {"closed without a choice", "", 0, R"({"Error":"Dialog cancelled"})"},
      {"file gone", missing, 0,
       "{\"Error\":\"Selected file not found: \\\"" + ReplaceAll(missing, "/", "\\/") + "\\\"\"}"},
      {"dialog failed", "", 5, R"({"Error":"Unhandled error in file open dialog execute"})"},
  };
  for (const TCase& c : cases) {
    InstallDialog(c.answer, c.status);
    EXPECT_EQ(Command({{"Operation", "FlOpnDlg"}, {"Id", "1"}}).body, c.reply) << c.name;
  }
  setenv("QUORVANE_FILE_DIALOG", (temp / "no-such-dialog").c_str(), 1);
  EXPECT_EQ(Command({{"Operation", "FlOpnDlg"}}).body,
            R"({"Error":"Unhandled error in file open dialog execute"})");
}

TEST_F(SessionCommands, SessionIdentifierCanBeReadAndReplaced) {
  SetSessionId("START");
  EXPECT_EQ(Command({{"Operation", "GetSessionId"}}).body, R"({"SessionUID":"START"})");
  EXPECT_EQ(Command({{"Operation", "SetSessionID"}, {"SessionID", "N\xC3\xA9w/1"}}).body,
            R"({"Success":"N\u00E9w\/1"})");
  EXPECT_EQ(GetSessionId(), "N\xC3\xA9w/1");
  EXPECT_EQ(Command({{"Operation", "GetSessionId"}}).body, R"({"SessionUID":"N\u00E9w\/1"})");
  EXPECT_EQ(Command({{"Operation", "SetSessionID"}}).body, "{}");
  EXPECT_EQ(Command({{"Operation", "GetSessionId"}}).body, "{}");
}

// A letter table that also lists drives, as the drive layer's does.
class TListedDrives : public TFolderDriveLetters, public IDriveLister {
 public:
  TUSBDrives ListUSBDrives() override { return drives; }
  void VolumeNameAndFS(char, std::string& name, std::string& fs) override {
    name = "removable drive";
    fs.clear();
  }
  TUSBDrives drives;
};

TEST_F(SessionCommands, DriveList) {
  EXPECT_EQ(Command({{"Operation", "GetFlashDrives"}}).body, "{}");
  auto table = std::make_shared<TListedDrives>();
  TUSBDriveSet stick;
  stick.Letter = 'e';
  stick.Name = "MULTIBOOT";
  stick.FileSystem = "FAT32";
  stick.FreeSpace = 1000000000;
  stick.FullSize = 8000000000;
  stick.VolumeDevice = "/dev/sdb1";
  stick.DiskDevice = "/dev/sdb";
  stick.Vendor = "SanDisk";
  stick.Model = "Cruzer Blade";
  TUSBDriveSet unreadable;
  unreadable.Letter = 'f';
  unreadable.Name = "removable drive";
  unreadable.FreeSpace = -1;
  unreadable.FullSize = 0;
  table->drives = {stick, unreadable};
  SetDriveLetters(table);
  EXPECT_EQ(Command({{"Operation", "GetFlashDrives"}}).body,
            R"({"Drives":[{"Letter":"e","Name":"MULTIBOOT","FS":"FAT32","FreeSpace":"1000000000",)"
            R"("FullSize":"8000000000","Device":"\/dev\/sdb1","Disk":"\/dev\/sdb","Vendor":"SanDisk",)"
            R"("Model":"Cruzer Blade"},{"Letter":"f","Name":"removable drive","FreeSpace":"-1",)"
            R"("FullSize":"0"}]})");
  table->drives.clear();
  EXPECT_EQ(Command({{"Operation", "GetFlashDrives"}}).body, "{}");
}

TEST_F(SessionCommands, FeedbackIsRelayedToTheService) {
  TFakeService service;
  SetSessionId("RUN7");
  const THttpReply reply = Command(
      {{"Operation", "feedback"}, {"Email", ""}, {"Text", "Works \"great\""}, {"", "nameless"}});
  EXPECT_EQ(reply.status, 200);
  EXPECT_EQ(reply.body, "");
  ASSERT_TRUE(service.WaitForRequests(1));
  const TReceivedRequest request = service.Requests()[0];
  EXPECT_EQ(request.Path, "/api/utils/feedback");
  const std::string rsa = OpensslHmacSha1(
      SignedTextOf({"\"feedback\"", "\"Works \\\"great\\\"\"", "\"RUN7\""}), "PmtW");
  EXPECT_EQ(request.Body, "{\"Operation\":\"feedback\",\"Text\":\"Works \\\"great\\\"\",\"id\":\"RUN7\","
                          "\"RSA\":\"" + rsa + "\"}");

  Command({{"Operation", "userinfo"}, {"Screen", "1920x1080"}});
  ASSERT_TRUE(service.WaitForRequests(2));
  EXPECT_EQ(service.Requests()[1].Path, "/api/utils/userinfo");
}

TEST(FormFields, BodyDecoding) {
  const TFormFields fields =
      TFormFields::Parse("Operation=Burn+Flash%20Drive&empty=&bare&Loaders%5B0%5D%5BPath%5D="
                         "%2Fhome%2Fa%20b.iso&bad=%zz%4&Name=first&NAME=second&&x=a=b");
  EXPECT_EQ(fields.Get("operation"), "Burn Flash Drive");
  EXPECT_EQ(fields.Get("Loaders[0][Path]"), "/home/a b.iso");
  EXPECT_EQ(fields.Get("loaders[0][path]"), "/home/a b.iso");
  EXPECT_EQ(fields.Get("bad"), "%zz%4");
  EXPECT_EQ(fields.Get("name"), "first");
  EXPECT_EQ(fields.Get("x"), "a=b");
  EXPECT_EQ(fields.Get("missing"), "");
  EXPECT_TRUE(fields.Has("bare"));
  EXPECT_EQ(fields.All().size(), 8u);
  EXPECT_EQ(TFormFields::CountFields("Operation=Burn+Flash%20Drive&empty=&bare&Loaders%5B0%5D%5BPath%5D="
                                     "%2Fhome%2Fa%20b.iso&bad=%zz%4&Name=first&NAME=second&&x=a=b"),
            8u);
  EXPECT_TRUE(TFormFields::Parse("").All().empty());
}

TEST(MsgQue, FirstInFirstOut) {
  TMsgQue queue;
  EXPECT_TRUE(queue.IsEmpty());
  const TMsgElement none = queue.Dequeue();
  EXPECT_EQ(none.MsgType + none.MsgTextFst + none.MsgTextScnd + none.MsgTextThrd + none.MsgTextFrth,
            "");
  for (const char* type : {"A", "B", "C"}) queue.Enqueue({type, "1", "2", "3", "4"});
  EXPECT_EQ(queue.Dequeue().MsgType, "A");
  EXPECT_EQ(queue.Dequeue().MsgType, "B");
  EXPECT_EQ(queue.Dequeue().MsgTextFrth, "4");
  EXPECT_TRUE(queue.IsEmpty());
  queue.Enqueue({"D"});
  EXPECT_EQ(queue.Dequeue().MsgType, "D");
}

class EventProcedures : public MainThreadTest {
 protected:
  EventProcedures() {
    TControlModuleSetup setup;
    setup.PrepareArchiveLibrary = [] { return std::string(); };
    setup.Preflight = RunPlanPreflight;
    setup.CreateJobs = [this] {
      return std::make_unique<TJobs>(StandInLoaderFactory(), RecordingPreparation(prep));
    };
    module = std::make_unique<TWebModule1>(setup);
  }
  std::vector<std::string> Taken() {
    std::vector<std::string> out;
    while (!module->MsgQue().IsEmpty()) {
      const TMsgElement m = module->MsgQue().Dequeue();
      out.push_back(m.MsgType + "|" + m.MsgTextFst + "|" + m.MsgTextScnd + "|" + m.MsgTextThrd +
                    "|" + m.MsgTextFrth);
    }
    return out;
  }
  std::shared_ptr<TPreparationLog> prep = std::make_shared<TPreparationLog>();
  std::unique_ptr<TWebModule1> module;
};

TEST_F(EventProcedures, MessagesOfTheCatalogue) {
  void* m = module.get();
  WebFormatStart(m, 0, 'E');
  WebFormatStart(m, 1, 'e');
  WebFormatStart(m, 7, 'e');
  WebFormatFinished(m, "bad");
  WebMBRReplaceFinished(m, "");
  WebFormatProgress(m, "Checking capacity...", 42);
  WebFormatProgress(m, "Formatting...", -1);
  WebWorksStart(m);
  WebJobSync(m, "nobody");
  WebAllJobsFinished(m);
  for (void* none : {static_cast<void*>(nullptr)}) {
    WebFormatStart(none, 0, 'e');
    WebFormatFinished(none, "x");
    WebMBRReplaceFinished(none, "x");
    WebFormatProgress(none, "x", 1);
    WebWorksStart(none);
    WebJobStarted(none, "A");
    WebJobSync(none, "A");
    WebJobFinished(none, "A");
    WebAllJobsFinished(none);
  }
  EXPECT_THAT(Taken(), ::testing::ElementsAre("FormatStart|Format|E||", "FormatStart|ChangeMBR|e||",
                                              "FormatStart||e||", "FormatFinished|bad|||",
                                              "MBRChangeFinished||||",
                                              "FormatProgress|Checking capacity...|42||",
                                              "FormatProgress|Formatting...|||", "BurnStarted||||",
                                              "BurnFinished||||"));
}

TEST_F(EventProcedures, JobMessagesCarryTheJobsStateAndBurnFinishedSwitchesOffWaitingJobs) {
  MapDrive('e');
  WriteFile(temp / "a.iso", "x");
  TJobs& jobs = *module->Jobs();
  jobs.Add(6, temp / "a.iso", 'e', "Mine");
  jobs.Add(6, temp / "a.iso", 'e', "Other");
  WebJobSync(module.get(), "Mine");
  WebJobStarted(module.get(), "Other");
  WebJobFinished(module.get(), "Mine");
  EXPECT_THAT(Taken(), ::testing::ElementsAre("JobSync|0|Ready||Mine", "JobStarted|0|Ready||Other",
                                              "JobFinished|0|Ready||Mine"));
  WebAllJobsFinished(module.get());
  EXPECT_FALSE(jobs.GetJobByName("Mine")->Active());
  EXPECT_FALSE(jobs.GetJobByName("Other")->Active());
}

TEST_F(EventProcedures, ThePumpStepDropsQuitMessages) {
  int ran = 0;
  queue.PostQuit();
  queue.Post([&] { ++ran; });
  queue.PostQuit();
  TWebModule1::AltProcessMessages(queue, 0);
  EXPECT_EQ(ran, 1);
  EXPECT_FALSE(queue.HasMessage());
}

}  // namespace
}  // namespace quorvane::testing
