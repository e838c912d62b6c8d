// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The control server over HTTP on loopback: the request frame, the page, the refusals of
// other origins, and the job commands with the events of a whole burn.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <future>
#include <thread>

#include "common/session_state.h"
#include "jobs/jobs.h"
#include "server_fixture.h"
#include "support/iso_images.h"
#include "service/service_client.h"

namespace quorvane::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::string Origin(int port) { return "http://127.0.0.1:" + std::to_string(port); }

class ControlServer : public ControlServerTest {
 protected:
  void SetUp() override { StartServer(); }
  // Maps drive e and makes a small image; returns the image's path.
  std::string ImageAndDrive() {
    MapDrive('e');
    MakeLoaderImage(temp / "a.iso", -1);
    return temp / "a.iso";
  }
};

TEST_F(ControlServer, ServesThePageOnceWithCrSeparatedLines) {
  const THttpReply first = Request("GET", "/", "", {});
  EXPECT_EQ(first.status, 200);
  EXPECT_EQ(first.body, "\r<!doctype html>\r<p>line two</p>\rlast");
  EXPECT_EQ(first.headers.find("Content-Encoding")->second, "UTF-8");
  EXPECT_EQ(first.headers.find("Content-Type")->second, "text/html");
  const THttpReply second = Request("GET", "/", "", {});
  EXPECT_EQ(second.status, 200);
  EXPECT_EQ(second.body, "");
}

TEST_F(ControlServer, PageIsNeverCompressed) {
  WriteFile(page_dir + "index.html", "\xEF\xBB\xBF" + std::string(5000, 'a') + "\n");
  const THttpReply page = Request("GET", "/", "", {{"Accept-Encoding", "gzip, deflate, br"}});
  EXPECT_EQ(page.body, "\r" + std::string(5000, 'a'));
  EXPECT_EQ(page.headers.count("Content-Encoding"), 1u);
}

TEST_F(ControlServer, OtherGetsAreEmptyAndLeaveThePageUnserved) {
  EXPECT_EQ(Request("GET", "/index.html", "", {}).body, "");
  EXPECT_EQ(Request("GET", "/favicon.ico", "", {}).status, 200);
  // A query string is no command: this is a GET of "/", so it gets the page.
  const THttpReply page = Request("GET", "/?Operation=StopAll", "", {});
  EXPECT_EQ(page.body.substr(0, 10), "\r<!doctype");
}

TEST_F(ControlServer, AMissingPageFailsWithoutMarkingItServed) {
  std::filesystem::remove(page_dir + "index.html");
  const THttpReply failed = Request("GET", "/", "", {});
  EXPECT_EQ(failed.status, 500);
  EXPECT_EQ(failed.body, "");
  WriteFile(page_dir + "index.html", "back");
  EXPECT_EQ(Request("GET", "/", "", {}).body, "\rback");
  // The locks were released: commands still work.
  EXPECT_EQ(Command({{"Operation", "CheckMessages"}}).body, "{}");
}

TEST_F(ControlServer, CommandNamesAndTheRequestFrame) {
  struct TCase {
    const char* name;
    std::string body;
    std::string reply;
  };
  const TCase cases[] = {
      {"no field", "", R"({"Error":"Command not recognized"})"},
      {"empty value", "Operation=", R"({"Error":"Command not recognized"})"},
      {"field name in lower case", "operation=CheckMessages", "{}"},
      {"value in lower case", "Operation=checkmessages", R"({"Error":"Command not recognized"})"},
      {"first occurrence counts", "OPERATION=CheckMessages&Operation=Nope", "{}"},
      {"ResumeAll", "Operation=ResumeAll", ""},
      {"GetElevation", "Operation=GetElevation", ""},
      {"LogMessage", "Operation=LogMessage", ""},
      {"PostMessages", "Operation=PostMessages", ""},
      {"WriteLogMessage", "Operation=WriteLogMessage", ""},
      {"GetExistLoaders", "Operation=GetExistLoaders",
       R"({"ExistLoaders":"opaque {text}\/1"})"},
  };
  for (const TCase& c : cases) {
    const THttpReply reply = Post(c.body);
    EXPECT_EQ(reply.status, 200) << c.name;
    EXPECT_EQ(reply.body, c.reply) << c.name;
  }
  // Fields come from the body only.
  EXPECT_EQ(Request("POST", "/?Operation=CheckMessages", "", {{"Origin", Origin(port)}}).body,
            R"({"Error":"Command not recognized"})");
  // Any method but GET is a command.
  EXPECT_EQ(Request("PUT", "/x", "Operation=CheckMessages", {}).body, "{}");
}

TEST_F(ControlServer, ForeignPagesAndHostsAreRefused) {
  const std::string p = std::to_string(port);
  struct TCase {
    const char* name;
    std::multimap<std::string, std::string> headers;
    int status;
  };
  const TCase cases[] = {
      {"another web site", {{"Origin", "https://example.com"}}, 403},
      {"a sandboxed page", {{"Origin", "null"}}, 403},
      {"same host, other port", {{"Origin", "http://127.0.0.1:1"}}, 403},
      {"https on this port", {{"Origin", "https://127.0.0.1:" + p}}, 403},
      {"a rebound name", {{"Host", "evil.example:" + p}}, 403},
      {"host without port", {{"Host", "127.0.0.1"}}, 403},
      {"other port in host", {{"Host", "localhost:80"}}, 403},
      {"this page", {{"Origin", "http://127.0.0.1:" + p}}, 200},
      {"this page by name", {{"Origin", "http://localhost:" + p}, {"Host", "localhost:" + p}}, 200},
      {"no origin (typed address, curl)", {}, 200},
  };
  for (const TCase& c : cases) {
    const bool refused = c.status == 403;
    EXPECT_EQ(ClientConnected.load(), false) << c.name;
    const THttpReply post = Request("POST", "/", "Operation=GetExistLoaders", c.headers);
    EXPECT_EQ(post.status, c.status) << c.name;
    EXPECT_EQ(post.body.empty(), refused) << c.name;
    const THttpReply get = Request("GET", "/", "", c.headers);
    EXPECT_EQ(get.status, c.status) << c.name;
    if (refused) {
      EXPECT_EQ(get.body, "") << c.name;
      // No module was made for it: the online run still counts down its time limit.
      EXPECT_EQ(server->Module(), nullptr) << c.name;
    } else {
      ClientConnected = false;  // let the next case look again
    }
  }
}

TEST_F(ControlServer, ACommandFromAForeignPageNeverRuns) {
  MapDrive('e');
  MakeLoaderImage(temp / "a.iso", -1);
  const THttpReply reply = Request(
      "POST", "/",
      FormEncode({{"Operation", "BurnFlashDrive"}, {"Mode", "New"}, {"NewFS", "FAT"},
                  {"FlashDrive", "e"}, {"Loaders[0][Code]", "6"}, {"Loaders[0][Path]", temp / "a.iso"},
                  {"Loaders[0][Name]", "A"}}),
      {{"Origin", "http://attacker.example"}});
  EXPECT_EQ(reply.status, 403);
  PumpPending();
  EXPECT_EQ(preparation->runs.load(), 0);
  EXPECT_EQ(server->Jobs(), nullptr);
}

TEST_F(ControlServer, ListensOnLoopbackOnly) {
  std::string table;
  ASSERT_TRUE(ReadSystemTcpTable(table));
  char wanted[32];
  std::snprintf(wanted, sizeof wanted, "0100007F:%04X 00000000:0000 0A", port);
  EXPECT_NE(table.find(wanted), std::string::npos) << table;
  char any[32];
  std::snprintf(any, sizeof any, "00000000:%04X", port);
  EXPECT_EQ(table.find(any), std::string::npos);
}

TEST_F(ControlServer, FirstRequestMakesTheModuleAndSetsClientConnected) {
  EXPECT_FALSE(ClientConnected);
  EXPECT_EQ(server->Jobs(), nullptr);
  Command({{"Operation", "CheckMessages"}});
  EXPECT_TRUE(ClientConnected);
  ASSERT_NE(server->Jobs(), nullptr);
  TJobs* jobs = server->Jobs();
  Command({{"Operation", "CheckMessages"}});
  EXPECT_EQ(server->Jobs(), jobs);
}

TEST_F(ControlServer, ActivationFailsWithTheReasonWhenThePortIsTaken) {
  TControlServer second(setup);
  second.SetDefaultPort(port);
  try {
    second.Activate();
    FAIL() << "the port is in use";
  } catch (const std::exception& error) {
    EXPECT_THAT(error.what(), ::testing::HasSubstr(std::to_string(port)));
  }
}

// A burn request with `entries` pairs of (code, path) named A, B, C...
std::vector<std::pair<std::string, std::string>> Burn(
    const std::string& mode, const std::string& fs, const std::string& drive,
    const std::vector<std::pair<std::string, std::string>>& entries, char first_name = 'A') {
  std::vector<std::pair<std::string, std::string>> fields = {
      {"Operation", "BurnFlashDrive"}, {"Mode", mode}, {"NewFS", fs}, {"FlashDrive", drive}};
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const std::string prefix = "Loaders[" + std::to_string(i) + "]";
    fields.emplace_back(prefix + "[Code]", entries[i].first);
    fields.emplace_back(prefix + "[Path]", entries[i].second);
    fields.emplace_back(prefix + "[Name]", std::string(1, static_cast<char>(first_name + i)));
  }
  return fields;
}

TEST_F(ControlServer, BurnRequestsAreCheckedInOrder) {
  const std::string iso = ImageAndDrive();
  struct TCase {
    const char* name;
    std::vector<std::pair<std::string, std::string>> fields;
    std::string reply;
  };
  const TCase cases[] = {
      {"mode unknown, also before a bad file system",
       Burn("new", "exFAT", "", {{"6", iso}}), R"({"Error":"Burning mode not recognized"})"},
      {"file system of a new drive", Burn("New", "exFAT", "e", {{"6", iso}}),
       R"({"Error":"File system not recognized"})"},
      {"no drive", Burn("New", "NTFS", "", {{"6", iso}}), R"({"Error":"Drive not selected"})"},
      {"drive without root", Burn("Add", "", "q", {{"6", iso}}), R"({"Error":"Drive not found"})"},
      {"no entry", Burn("Add", "", "e", {}), R"({"Error":"No one loader initialized"})"},
      {"entry code not a number", Burn("Add", "", "e", {{"six", iso}}),
       R"({"Error":"No one loader initialized"})"},
      {"more entries than one burn takes",
       Burn("Add", "", "e", std::vector<std::pair<std::string, std::string>>(261, {"6", iso})),
       R"({"Error":"Too many loaders: at most 260 in one burn"})"},
  };
  for (const TCase& c : cases) EXPECT_EQ(Command(c.fields).body, c.reply) << c.name;
  PumpPending();
  EXPECT_EQ(preparation->runs.load(), 0);
  EXPECT_FALSE(server->Jobs()->Starting());
}

TEST_F(ControlServer, AddModeIgnoresTheFileSystemAndTakesTheFirstLetter) {
  const std::string iso = ImageAndDrive();
  preparation->hold = true;
  EXPECT_EQ(Command(Burn("Add", "exFAT", "efg", {{"4", iso}})).body, R"({"Success":""})");
  EXPECT_EQ(preparation->drive, 'e');
  EXPECT_EQ(preparation->mode, 1);
  EXPECT_EQ(preparation->fs, 255);
  EXPECT_EQ(Command(Burn("Add", "", "e", {{"4", iso}})).body, R"({"Error":"Already started"})");
  EXPECT_EQ(Command({{"Operation", "CheckMessages"}}).body,
            R"({"NewMessages":[{"MsgType":"FormatStart","MsgTextFst":"ChangeMBR","MsgTextScnd":"e"}]})");
  preparation->hold = false;
  std::vector<TPageMessage> messages;
  ASSERT_TRUE(CollectUntil("BurnFinished", messages));
}

TEST_F(ControlServer, AWholeBurnIsReportedInOrder) {
  const std::string root = MapDrive('e');
  const std::string iso = temp / "Win-10 {x64}.iso";
  MakeLoaderImage(iso, -1);
  // Entries 0, 1 and 3: the gap ends the list; code 11 is read but adds no job.
  auto fields = Burn("New", "NTFS", "e", {{"6", iso}, {"7", iso}, {"11", iso}, {"8", iso}});
  fields.erase(std::remove_if(fields.begin(), fields.end(),
                              [](const auto& f) { return f.first.rfind("Loaders[2]", 0) == 0; }),
               fields.end());
  ASSERT_EQ(Command(fields).body, R"({"Success":""})");
  EXPECT_EQ(preparation->mode, 0);
  EXPECT_EQ(preparation->fs, 1);
  std::vector<TPageMessage> messages;
  ASSERT_TRUE(CollectUntil("BurnFinished", messages));
  EXPECT_EQ(server->Jobs()->Count(), 2);

  std::vector<std::string> seen = Summaries(messages);
  // Progress reports in between vary; the frame of the sequence does not.
  std::vector<std::string> frame;
  for (const std::string& s : seen)
    if (s.rfind("JobSync|", 0) != 0 || s.find("|Running|") == std::string::npos) frame.push_back(s);
  EXPECT_THAT(frame, ElementsAre("FormatStart|Format|e||", "FormatFinished||||",
                                 "JobStarted|0|Ready||A", "BurnStarted||||",
                                 "JobSync|0|Initializing||A", "JobSync|100|Finished||A",
                                 "JobFinished|100|Finished||A", "JobStarted|0|Ready||B",
                                 "JobSync|0|Initializing||B", "JobSync|100|Finished||B",
                                 "JobFinished|100|Finished||B", "BurnFinished||||"));
  EXPECT_THAT(seen, ::testing::Contains("JobSync|25|Running||A"));
  EXPECT_EQ(Command({{"Operation", "CheckMessages"}}).body, "{}");
  EXPECT_EQ(Command({{"Operation", "CheckMessages"}}).body, "{}");
  EXPECT_NE(ReadFile(root + "menu.lst").find("title Win_10_x64"), std::string::npos);
}

TEST_F(ControlServer, ANewDriveIsCheckedForItsCapacityOnlyWhenThePageAsks) {
  const std::string iso = ImageAndDrive();
  struct TCase {
    const char* mode;
    const char* check;  // nullptr: no such field
    bool checked;
  };
  const TCase cases[] = {{"New", "1", true},  {"New", nullptr, false}, {"New", "0", false},
                         {"New", "yes", false}, {"Add", "1", false}};
  preparation->progress = {0, 100};
  char name = 'A';
  for (const TCase& c : cases) {
    auto fields = Burn(c.mode, "FAT", "e", {{"6", iso}}, name++);
    if (c.check) fields.emplace_back("CheckCapacity", c.check);
    ASSERT_EQ(Command(fields).body, R"({"Success":""})") << c.mode << " " << (c.check ? c.check : "-");
    std::vector<TPageMessage> messages;
    ASSERT_TRUE(CollectUntil("BurnFinished", messages));
    EXPECT_EQ(preparation->options.CheckCapacity, c.checked)
        << c.mode << " " << (c.check ? c.check : "-");
    EXPECT_THAT(Summaries(messages), ::testing::Contains("FormatProgress|Checking capacity...|100||"));
  }
}

TEST_F(ControlServer, TheEntriesAreReadBackUnlessThePageTurnsItOff) {
  const std::string iso = ImageAndDrive();
  struct TCase {
    const char* verify;  // nullptr: no such field
    bool verified;
  };
  const TCase cases[] = {{nullptr, true}, {"1", true}, {"0", false}};
  char name = 'A';
  for (const TCase& c : cases) {
    auto fields = Burn("Add", "", "e", {{"6", iso}}, name++);
    if (c.verify) fields.emplace_back("Verify", c.verify);
    ASSERT_EQ(Command(fields).body, R"({"Success":""})") << (c.verify ? c.verify : "-");
    std::vector<TPageMessage> messages;
    ASSERT_TRUE(CollectUntil("BurnFinished", messages));
    EXPECT_EQ(preparation->options.Verify, c.verified) << (c.verify ? c.verify : "-");
  }
}

TEST_F(ControlServer, AFailedDriveStepStaysStartedUntilStopAll) {
  const std::string iso = ImageAndDrive();
  preparation->error = "Disk is write protected";
  ASSERT_EQ(Command(Burn("New", "FAT", "e", {{"6", iso}})).body, R"({"Success":""})");
  std::vector<TPageMessage> messages;
  ASSERT_TRUE(CollectUntil("FormatFinished", messages));
  EXPECT_THAT(Summaries(messages),
              ElementsAre("FormatStart|Format|e||", "FormatFinished|Disk is write protected|||"));
  EXPECT_EQ(Command(Burn("New", "FAT", "e", {{"6", iso}})).body, R"({"Error":"Already started"})");
  EXPECT_EQ(Command({{"Operation", "CancelCurrent"}}).body, R"({"Error":"Job not found"})");
  EXPECT_EQ(Command({{"Operation", "StopAll"}}).body, R"({"Success":""})");
  PumpPending();
  EXPECT_EQ(Command({{"Operation", "CheckMessages"}}).body, "{}");  // no BurnFinished
  EXPECT_EQ(Command({{"Operation", "StopAll"}}).body, R"({"Error":"Jobs not started"})");

  // The next run starts the waiting entry of the failed one before its own.
  preparation->error.clear();
  ASSERT_EQ(Command(Burn("Add", "", "e", {{"7", iso}}, 'N')).body, R"({"Success":""})");
  messages.clear();
  ASSERT_TRUE(CollectUntil("BurnFinished", messages));
  std::vector<std::string> finished;
  for (const std::string& s : Summaries(messages))
    if (s.rfind("JobFinished", 0) == 0) finished.push_back(s);
  EXPECT_THAT(finished, ElementsAre("JobFinished|100|Finished||A", "JobFinished|100|Finished||N"));
  EXPECT_EQ(server->Jobs()->Count(), 2);
}

TEST_F(ControlServer, CancelStopAndSwitchingEntries) {
  const std::string root = MapDrive('e');
  const std::string iso = temp / "a.iso";
  MakeLoaderImage(iso, -1);
  for (const char* op : {"CancelCurrent", "StopAll", "Disable", "Enable"})
    EXPECT_EQ(Command({{"Operation", op}, {"JobName", "A"}}).body, R"({"Error":"Jobs not started"})")
        << op;

  preparation->hold = true;
  ASSERT_EQ(Command(Burn("Add", "", "e", {{"6", iso}, {"7", iso}, {"8", iso}, {"9", iso}})).body,
            R"({"Success":""})");
  ASSERT_EQ(made.size(), 4u);
  made[0]->hold = true;
  preparation->hold = false;
  ASSERT_TRUE(PumpUntil([&] { return made[0]->in_copy.load(); }));

  struct TCase {
    std::string op, name, reply;
  };
  const TCase switching[] = {
      {"Disable", "nobody", R"({"Error":"Job not found"})"},
      {"Disable", "A", R"({"Error":"Job in status Runningcan not be deactivated"})"},
      {"Disable", "B", R"({"Success":""})"},
      {"Disable", "B", R"({"Success":"Job already deactivated"})"},
      {"Enable", "B", R"({"Success":""})"},
      {"Enable", "B", R"({"Success":"Job already active"})"},
      {"Disable", "C", R"({"Success":""})"},
  };
  for (const TCase& c : switching)
    EXPECT_EQ(Command({{"Operation", c.op}, {"JobName", c.name}}).body, c.reply)
        << c.op << " " << c.name;

  // Cancel the running entry: it is rolled back and the next active one (B) runs.
  const std::string folder = made[0]->Vars.JobDir;
  EXPECT_EQ(Command({{"Operation", "CancelCurrent"}}).body, "{}");
  std::vector<TPageMessage> messages;
  ASSERT_TRUE(CollectUntil("JobStarted|0|Ready||B", messages));
  auto summaries = Summaries(messages);
  EXPECT_THAT(summaries, ::testing::IsSupersetOf({std::string("JobSync|25|Cancelling||A"),
                                                  std::string("JobSync|25|Cancelled||A"),
                                                  std::string("JobFinished|25|Cancelled||A"),
                                                  std::string("JobStarted|0|Ready||B")}));
  EXPECT_FALSE(Exists(folder));

  // Stop while B is held in its copy: B is cancelled, the run ends, C and D are switched
  // off so that no later run starts them.
  made[1]->hold = true;
  ASSERT_TRUE(PumpUntil([&] { return made[1]->in_copy.load(); }));
  EXPECT_EQ(Command({{"Operation", "StopAll"}}).body, R"({"Success":""})");
  messages.clear();
  ASSERT_TRUE(CollectUntil("BurnFinished", messages));
  EXPECT_THAT(Summaries(messages), ::testing::Contains("JobFinished|25|Cancelled||B"));
  EXPECT_EQ(made[2]->Status(), "Ready");
  EXPECT_FALSE(made[2]->Active());
  EXPECT_FALSE(made[3]->Active());
  EXPECT_EQ(Command({{"Operation", "CancelCurrent"}}).body, R"({"Error":"Jobs not started"})");
  EXPECT_FALSE(Exists(root + "menu.lst"));
}

TEST_F(ControlServer, FinishWorksWithoutARunEndsAtOnce) {
  EXPECT_EQ(Command({{"Operation", "FinishWorks"}}).body, "");
  EXPECT_TRUE(QuitRequested);
  // The pump looks at the flag only after a message: one is waiting for it.
  EXPECT_TRUE(queue.HasMessage());
  for (const char* op : {"CheckMessages", "GetExistLoaders", "Nope"})
    EXPECT_EQ(Command({{"Operation", op}}).body, "") << op;
  EXPECT_EQ(Request("GET", "/", "", {}).body, "");
}

TEST_F(ControlServer, FinishWorksWaitsForTheJobWhileItsNotificationsGoOn) {
  const std::string iso = ImageAndDrive();
  ASSERT_EQ(Command(Burn("Add", "", "e", {{"6", iso}, {"7", iso}})).body, R"({"Success":""})");
  ASSERT_TRUE(PumpUntil([&] { return !made.empty(); }));
  made[0]->hold = true;
  ASSERT_TRUE(PumpUntil([&] { return made[0]->in_copy.load(); }));
  const std::string folder = made[0]->Vars.JobDir;
  auto finish = std::async(std::launch::async, [&] { return Command({{"Operation", "FinishWorks"}}); });
  // The job's roll-back notifications need the main thread and the request lock; the
  // reply can only come once they have run.
  ASSERT_TRUE(PumpUntil(
      [&] { return finish.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready; }));
  EXPECT_EQ(finish.get().body, "");
  EXPECT_TRUE(QuitRequested);
  EXPECT_EQ(made[0]->Status(), "Cancelled");
  EXPECT_FALSE(Exists(folder));
  EXPECT_EQ(made[1]->Status(), "Ready");
  // The events stay queued.
  std::vector<std::string> left;
  TMsgQue& queued = server->Module()->MsgQue();
  while (!queued.IsEmpty()) {
    const TMsgElement m = queued.Dequeue();
    left.push_back(m.MsgType + "|" + m.MsgTextFst + "|" + m.MsgTextScnd + "|" + m.MsgTextThrd +
                   "|" + m.MsgTextFrth);
  }
  EXPECT_THAT(left, ::testing::Contains("JobFinished|25|Cancelled||A"));
}

TEST_F(ControlServer, FinishWorksWaitsForADriveStepUnderWay) {
  const std::string iso = ImageAndDrive();
  preparation->hold = true;
  ASSERT_EQ(Command(Burn("New", "FAT", "e", {{"6", iso}})).body, R"({"Success":""})");
  auto finish = std::async(std::launch::async, [&] { return Command({{"Operation", "FinishWorks"}}); });
  // A finish in the middle of formatting would leave the drive half made.
  PumpUntil([] { return false; }, std::chrono::milliseconds(300));
  EXPECT_FALSE(QuitRequested);
  EXPECT_EQ(finish.wait_for(std::chrono::milliseconds(0)), std::future_status::timeout);
  preparation->hold = false;
  ASSERT_TRUE(PumpUntil(
      [&] { return finish.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready; }));
  EXPECT_TRUE(QuitRequested);
  EXPECT_EQ(made[0]->Status(), "Ready");  // stopped before any job started
}

}  // namespace
}  // namespace quorvane::testing

namespace quorvane::testing {
namespace {

TEST_F(ControlServerTest, WithoutTheArchiveLibraryTheRunEndsAtTheFirstRequest) {
  setup.PrepareArchiveLibrary = [] { return std::string("Error with unpacking 7z.dll"); };
  StartServer();
  ::testing::internal::CaptureStderr();
  const THttpReply reply = Command({{"Operation", "GetExistLoaders"}});
  const std::string printed = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(reply.status, 200);
  EXPECT_EQ(reply.body, "");
  EXPECT_TRUE(QuitRequested);
  EXPECT_TRUE(queue.HasMessage());
  EXPECT_THAT(printed, ::testing::HasSubstr("Error with unpacking 7z.dll"));
}

// The check before a burn, given by the test: what it refuses starts nothing, and what it
// states reaches the page before the question.
TEST_F(ControlServerTest, TheCheckBeforeABurnComesFirst) {
  std::vector<TPreflightRequest> asked;
  TPreflightReport answer;
  setup.Preflight = [&](const TPreflightRequest& request) {
    asked.push_back(request);
    return answer;
  };
  StartServer();
  MapDrive('e');
  const std::string iso = temp / "a.iso";
  WriteFile(iso, "image");
  std::vector<std::pair<std::string, std::string>> check =
      Burn("New", "NTFS", "e", {{"6", iso}, {"12", iso}, {"7", iso}});
  check[0].second = "CheckBurn";

  answer.Refuse("the archive library /usr/lib/p7zip/7z.so cannot be used: not a regular file");
  answer.Refuse("second reason");
  const std::string refused =
      R"({"Error":"the archive library \/usr\/lib\/p7zip\/7z.so cannot be used: not a regular file\nsecond reason"})";
  EXPECT_EQ(Command(check).body, refused);
  EXPECT_EQ(Command(Burn("New", "NTFS", "e", {{"6", iso}, {"12", iso}, {"7", iso}})).body, refused);
  PumpPending();
  EXPECT_EQ(preparation->runs.load(), 0);
  EXPECT_EQ(server->Jobs()->Count(), 0);
  EXPECT_FALSE(server->Jobs()->Starting());
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[0].Drive, 'e');
  EXPECT_EQ(asked[0].Mode, 0);
  EXPECT_EQ(asked[0].FileSystem, 1);
  // The entry of an unknown loader adds no job and is not checked.
  ASSERT_EQ(asked[0].Entries.size(), 2u);
  EXPECT_EQ(asked[0].Entries[1].LoaderType, 7);
  EXPECT_EQ(asked[0].Entries[1].SourceFile, iso);
  EXPECT_EQ(asked[0].Entries[1].JobName, "C");

  answer = TPreflightReport();
  answer.ForeignMounts = {{"/dev/sdx1", "/media/ann/STICK", "by the desktop for user ann"}};
  answer.Remark("Note: one remark");
  EXPECT_EQ(Command(check).body,
            R"({"Success":"","Mounts":"Mounted now, not by this program:\n  \/dev\/sdx1 at )"
            R"(\/media\/ann\/STICK, mounted by the desktop for user ann\nThey are unmounted )"
            R"(before the drive is formatted: close every program that uses them.",)"
            R"("Remarks":"Note: one remark"})");
  answer = TPreflightReport();
  check[1].second = "Add";
  EXPECT_EQ(Command(check).body, R"({"Success":""})");
  EXPECT_EQ(preparation->runs.load(), 0);
}

}  // namespace
}  // namespace quorvane::testing
