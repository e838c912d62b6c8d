// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "service/service_client.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>

#include "common/session_state.h"
#include "fake_service.h"
#include "jobs/jobs.h"
#include "support/main_thread_fixture.h"
#include "support/test_loaders.h"

namespace quorvane {
namespace {

using testing::OpensslHmacSha1;
using testing::SignedTextOf;
using testing::TFakeService;

// Captured from this kind of machine: a listening socket on port 2024 (0x07E8).
const char* const kCapturedTable =
    "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  "
    "timeout inode                                                     \n"
    "   0: 00000000:07E8 00000000:0000 0A 00000000:00000000 00:00000000 00000000     0   "
    "     0 39 1 00000000308bd66d 100 0 0 10 0                        \n";

std::string TableWithPorts(const std::vector<int>& ports) {
  std::string table =
      "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  "
      "timeout inode\n";
  int slot = 0;
  for (int port : ports) {
    char row[160];
    std::snprintf(row, sizeof row,
                  "%4d: 0100007F:%04X 0100007F:9C40 01 00000000:00000000 00:00000000 "
                  "00000000  1000        0 4242 1 0000000000000000 20 4 30 10 -1\n",
                  slot++, port);
    table += row;
  }
  return table;
}

TTcpTableReader Table(std::string text) {
  return [text](std::string& table) {
    table = text;
    return true;
  };
}

class FreePort : public ::testing::Test {
 protected:
  void SetUp() override { UsedPorts.clear(); }
  void TearDown() override { UsedPorts.clear(); }
};

TEST_F(FreePort, ParsesEveryRowsLocalPort) {
  EXPECT_THAT(ParseTcpTableLocalPorts(kCapturedTable), ::testing::ElementsAre(2024u));
  EXPECT_THAT(ParseTcpTableLocalPorts(TableWithPorts({1792, 65535, 1})),
              ::testing::ElementsAre(1792u, 65535u, 1u));
  EXPECT_THAT(ParseTcpTableLocalPorts(TableWithPorts({})), ::testing::IsEmpty());
}

TEST_F(FreePort, RejectsTablesItCannotRead) {
  for (const std::string bad : {std::string(""), std::string("garbage\n"),
                                TableWithPorts({}) + "   0: 0100007F 00000000:0000 0A\n",
                                TableWithPorts({}) + "   0: 0100007F:XYZW 00000000:0000 0A\n"}) {
    EXPECT_THROW(ParseTcpTableLocalPorts(bad), std::runtime_error) << bad;
  }
}

TEST_F(FreePort, ChoosesTheFirstUnusedPortOfTheRange) {
  EXPECT_EQ(FindFreePort(8080, Table(TableWithPorts({80, 8080}))), 1792);
  UsedPorts.clear();
  EXPECT_EQ(FindFreePort(8080, Table(TableWithPorts({1793, 1792}))), 1794);
}

TEST_F(FreePort, FallsBackWhenTheRangeIsFullWithout4001) {
  std::vector<int> all;
  for (int port = 1792; port <= 4000; ++port) all.push_back(port);
  EXPECT_EQ(FindFreePort(8080, Table(TableWithPorts(all))), 8080);
}

TEST_F(FreePort, RefusedTableCountsAsNoPortUsedButAFailingReadGivesTheDefault) {
  EXPECT_EQ(FindFreePort(8080, [](std::string&) { return false; }), 1792);
  EXPECT_EQ(FindFreePort(8080, [](std::string&) -> bool { throw std::bad_alloc(); }), 8080);
  EXPECT_EQ(FindFreePort(8080, Table("not a table")), 8080);
}

TEST_F(FreePort, ReadsThisComputersTable) {
  std::string table;
  ASSERT_TRUE(ReadSystemTcpTable(table));
  EXPECT_NO_THROW(ParseTcpTableLocalPorts(table));
}

// Every test here talks to a fake service on loopback.
class ServiceRequests : public ::testing::Test {
 protected:
  void SetUp() override { SetSessionId(""); }
  void TearDown() override {
    SetSessionId("");
    SetServiceTimeouts(TServiceTimeouts());
  }
  TFakeService service;
};

TEST_F(ServiceRequests, PortRegistrationIsSignedOverTheReversedValues) {
  SetSessionId("0A1B2C");
  ASSERT_TRUE(PostPort(1792));
  ASSERT_EQ(service.Requests().size(), 1u);
  const testing::TReceivedRequest request = service.Requests()[0];
  EXPECT_EQ(request.Path, "/api/utils/setPort");
  EXPECT_EQ(request.ContentType, "application/json; charset=utf-8");
  const std::string rsa = OpensslHmacSha1(SignedTextOf({"\"1792\"", "\"0A1B2C\""}), "PmtW");
  ASSERT_EQ(rsa.size(), 40u);
  EXPECT_EQ(request.Body, "{\"port\":\"1792\",\"id\":\"0A1B2C\",\"RSA\":\"" + rsa + "\"}");
}

TEST_F(ServiceRequests, SignatureOfTheDocumentedExample) {
  // {"port":"1792"} without a run identifier signs the five characters "2971.
  TJsonValue msg;
  msg.AddData("port", "1792");
  EXPECT_EQ(ComputeSignature(msg), OpensslHmacSha1("\"2971", "PmtW"));
}

TEST_F(ServiceRequests, CharactersOutsideAsciiAreSignedAsQuestionMarks) {
  TJsonValue msg;
  msg.AddData("nick", "Jos\xC3\xA9 \xF0\x9F\x98\x80");
  const std::string expected = OpensslHmacSha1(SignedTextOf({"\"Jos\xC3\xA9 \xF0\x9F\x98\x80\""}),
                                               "PmtW");
  EXPECT_EQ(expected, OpensslHmacSha1("\"?? ?soJ", "PmtW"));
  EXPECT_EQ(ComputeSignature(msg), expected);
}

TEST_F(ServiceRequests, BodiesKeepBackslashesAndLineEndsAndEscapeOnlyQuotes) {
  ASSERT_TRUE(SendErrorLog("EC1 a \"b\" C:\\x\r\nnext \xC3\xA9"));
  const std::string body = service.Requests().at(0).Body;
  const std::string msg = "\"EC1 a \\\"b\\\" C:\\x\r\nnext \xC3\xA9\"";
  const std::string rsa = OpensslHmacSha1(SignedTextOf({"\"error\"", msg}), "PmtW");
  EXPECT_EQ(body, "{\"type\":\"error\",\"msg\":" + msg + ",\"RSA\":\"" + rsa + "\"}");
  EXPECT_EQ(service.Requests().at(0).Path, "/api/log");
}

TEST_F(ServiceRequests, EmptyObjectWithoutSessionIsSentBare) {
  TJsonValue msg;
  ASSERT_TRUE(PostToService(&msg, "x"));
  EXPECT_EQ(service.Requests().at(0).Body, "{}");
}

TEST_F(ServiceRequests, NoObjectSendsNothingAndSucceeds) {
  EXPECT_TRUE(PostToService(nullptr, "log"));
  EXPECT_TRUE(service.Requests().empty());
}

TEST_F(ServiceRequests, ErrorStatusIsAFailure) {
  service.status = 500;
  EXPECT_FALSE(PostPort(1792));
  service.status = 404;
  EXPECT_FALSE(SendErrorLog("x"));
  service.status = 302;
  EXPECT_TRUE(SendErrorLog("x"));
}

TEST_F(ServiceRequests, AServiceThatDoesNotAnswerIsGivenUpOn) {
  // Without a time limit this request would succeed once the service answers.
  SetServiceTimeouts({std::chrono::milliseconds(2000), std::chrono::milliseconds(300)});
  service.delay = std::chrono::milliseconds(2500);
  EXPECT_FALSE(PostPort(1792));
}

TEST_F(ServiceRequests, FeedbackIsSentOnlyWhenWorthSending) {
  struct TCase {
    const char* name;
    std::string subject;
    TCommunity kind;
    std::string text;
  };
  const TCase refused[] = {
      {"hint subject", "Subject", TCommunity::CommOther, "text"},
      {"empty subject", "", TCommunity::CommOther, "text"},
      {"empty text", "Hello", TCommunity::CommOther, ""},
      {"no kind", "Hello", TCommunity::CommNone, "text"},
      {"bug hint", "Hello", TCommunity::CommBugReport, KindPlaceholder(TCommunity::CommBugReport)},
      {"thanks hint", "Hello", TCommunity::CommGratitude, KindPlaceholder(TCommunity::CommGratitude)},
      {"idea hint", "Hello", TCommunity::CommSuggestion, KindPlaceholder(TCommunity::CommSuggestion)},
      {"other hint", "Hello", TCommunity::CommOther, KindPlaceholder(TCommunity::CommOther)},
  };
  for (const TCase& c : refused) SendFeedback(c.subject, "a@b.c", "nick", c.kind, c.text);
  EXPECT_TRUE(service.Requests().empty());

  const std::pair<TCommunity, std::string> kinds[] = {{TCommunity::CommBugReport, "0"},
                                                      {TCommunity::CommGratitude, "2"},
                                                      {TCommunity::CommSuggestion, "1"},
                                                      {TCommunity::CommOther, "3"}};
  for (const auto& [kind, code] : kinds) SendFeedback("Hi", "", "me", kind, "Thanks");
  ASSERT_EQ(service.Requests().size(), 4u);
  for (std::size_t i = 0; i < 4; ++i) {
    const std::string& code = kinds[i].second;
    const std::string rsa = OpensslHmacSha1(
        SignedTextOf({"\"" + code + "\"", "\"me\"", "\"Thanks\"", "\"Hi\""}), "PmtW");
    EXPECT_EQ(service.Requests()[i].Body,
              "{\"type\":\"" + code +
                  "\",\"nick\":\"me\",\"feedback\":\"Thanks\",\"subject\":\"Hi\",\"RSA\":\"" + rsa +
                  "\"}");
    EXPECT_EQ(service.Requests()[i].Path, "/api/utils/feedback");
  }
}

TEST_F(ServiceRequests, ForwardedMessagesArriveFromTheirOwnThread) {
  SetSessionId("S1");
  TJsonValue msg;
  msg.AddData("Operation", "userinfo").AddData("browser", "x");
  ForwardMessage(msg, "utils/userinfo");
  ASSERT_TRUE(service.WaitForRequests(1));
  const std::string rsa =
      OpensslHmacSha1(SignedTextOf({"\"userinfo\"", "\"x\"", "\"S1\""}), "PmtW");
  EXPECT_EQ(service.Requests()[0].Body,
            "{\"Operation\":\"userinfo\",\"browser\":\"x\",\"id\":\"S1\",\"RSA\":\"" + rsa + "\"}");
  EXPECT_EQ(service.Requests()[0].Path, "/api/utils/userinfo");
}

TEST(ServiceWithoutUrl, NothingIsSentAndEveryRequestFails) {
  unsetenv("QUORVANE_SERVICE_URL");
  EXPECT_FALSE(PostPort(1792));
  EXPECT_FALSE(SendErrorLog("x"));
}

class JobsLog : public testing::MainThreadTest {
 protected:
  void SetUp() override { SetSessionId(""); }
  TFakeService service;
};

TEST_F(JobsLog, NoJobsPostsTheWarning) {
  SendJobsLog(nullptr);
  TJobs empty;
  SendJobsLog(&empty);
  ASSERT_EQ(service.Requests().size(), 2u);
  const std::string rsa = OpensslHmacSha1(
      SignedTextOf({"\"warning\"", "\"Process finished with no jobs...\""}), "PmtW");
  for (const auto& request : service.Requests())
    EXPECT_EQ(request.Body,
              "{\"type\":\"warning\",\"msg\":\"Process finished with no jobs...\",\"RSA\":\"" +
                  rsa + "\"}");
}

TEST_F(JobsLog, ListsEveryJobWithItsState) {
  MapDrive('e');
  testing::WriteFile(temp / "my disk.iso", std::string(1000, 'x'));
  auto prep = std::make_shared<testing::TPreparationLog>();
  TJobs jobs(testing::StandInLoaderFactory(), testing::RecordingPreparation(prep));
  bool finished = false;
  jobs.SetOnWorksFinish([&](void*) { finished = true; });
  jobs.Add(6, temp / "my disk.iso", 'e', "LdrFrame0");
  jobs.Add(7, temp / "missing.iso", 'e', "LdrFrame1");
  jobs.Add(8, temp / "my disk.iso", 'e', "LdrFrame2");
  jobs.GetJobById(2)->Deactivate();
  jobs.Start('e', 1, 255);
  ASSERT_TRUE(PumpUntil([&] { return finished; }));
  SendJobsLog(&jobs);
  ASSERT_EQ(service.Requests().size(), 1u);
  const std::string body = service.Requests()[0].Body;
  const std::string list =
      "[{\"Number\":\"0\",\"Name\":\"LdrFrame0\",\"Type\":\"6\",\"SFile\":\"my_disk.iso\","
      "\"Status\":\"Finished\",\"Progress\":\"100\",\"Cancelled\":\"0\",\"Active\":\"-1\","
      "\"Running\":\"0\",\"Drive\":\"e\",\"NeedSpace\":\"1000\"},"
      "{\"Number\":\"1\",\"Name\":\"LdrFrame1\",\"Type\":\"7\",\"Status\":\"Failed\","
      "\"Error\":\"File not found\",\"Progress\":\"0\",\"Cancelled\":\"0\",\"Active\":\"-1\","
      "\"Running\":\"0\",\"Drive\":\"e\",\"NeedSpace\":\"0\"},"
      "{\"Number\":\"2\",\"Name\":\"LdrFrame2\",\"Type\":\"8\",\"Status\":\"Ready\","
      "\"Progress\":\"0\",\"Cancelled\":\"0\",\"Active\":\"0\",\"Running\":\"0\","
      "\"Drive\":\"e\",\"NeedSpace\":\"1000\"}]";
  EXPECT_EQ(body.substr(0, body.find(",\"RSA\"")), "{\"type\":\"log\",\"msg\":" + list);
  // The array's plain form is one value of the signed text.
  const std::string rsa = OpensslHmacSha1(SignedTextOf({"\"log\"", list}), "PmtW");
  EXPECT_EQ(body.substr(body.find(",\"RSA\"")), ",\"RSA\":\"" + rsa + "\"}");
}

}  // namespace
}  // namespace quorvane
