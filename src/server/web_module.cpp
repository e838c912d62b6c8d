// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "server/web_module.h"

#include "drive/drive_monitor.h"

#include <cstdio>
#include <fstream>
#include <mutex>
#include <sstream>
#include <stdexcept>

#include "archive/sevenzip.h"
#include "common/main_thread.h"
#include "common/resources.h"
#include "common/session_state.h"
#include "jobs/drive_check_run.h"
#include "jobs/jobs.h"
#include "service/service_client.h"
#include "startup/online_pump.h"

namespace quorvane {

namespace {

// The page's lines: a line ends at CR, LF or CR LF; a line end at the very end of the
// text starts no further line.
std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  bool pending = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(line);
      line.clear();
      pending = false;
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      line.push_back(c);
      pending = true;
    }
  }
  if (pending) lines.push_back(line);
  return lines;
}

}  // namespace

TWebModule1::TWebModule1(TControlModuleSetup setup)
    : AppStartPath(setup.AppStartPath.empty() ? ResourceDir() : setup.AppStartPath),
      FSetup(std::move(setup)) {
  if (!FSetup.PrepareArchiveLibrary) FSetup.PrepareArchiveLibrary = Prepare7zLibraryOrMessage;
  const std::string library_error = FSetup.PrepareArchiveLibrary();
  if (!library_error.empty()) {
    // No window to show it in: the message goes to the terminal, and the run ends the way
    // "FinishWorks" ends it.
    std::fprintf(stderr, "quorvane: %s\n", library_error.c_str());
    FFinishing = true;
    QuitRequested = true;
    if (HasMainThreadDispatcher()) MainThread().Post([] {});
  }
  FPageGetted = false;
  ClientConnected = true;
  FJobs = FSetup.CreateJobs ? FSetup.CreateJobs() : std::make_unique<TJobs>();
  if (!FSetup.Forward) FSetup.Forward = ForwardMessage;
  if (!FSetup.OpenFileDialog) FSetup.OpenFileDialog = RunFileOpenDialog;
  FSetup.VmTestBoot = WithDefaults(std::move(FSetup.VmTestBoot));
  if (!FJobs) return;
  FJobs->SetOwner(this);
  FJobs->SetOnFormatStarted(WebFormatStart);
  FJobs->SetOnFormatFinished(WebFormatFinished);
  FJobs->SetOnMBRReplaceFinishedCB(WebMBRReplaceFinished);
  FJobs->SetOnFormatProgress(WebFormatProgress);
  FJobs->SetOnJobSync(WebJobSync);
  FJobs->SetOnJobStart(WebJobStarted);
  FJobs->SetOnJobFinish(WebJobFinished);
  FJobs->SetOnWorksFinish(WebAllJobsFinished);
  FJobs->SetOnWorksStart(WebWorksStart);
  WatchDrives();
}

TWebModule1::~TWebModule1() {
  // No drive notice may reach a module that is going.
  FDriveMonitor.reset();
  FDriveCheck.reset();  // cancels a check under way and waits for it
}

void TWebModule1::WatchDrives() {
  if (!FSetup.CreateDriveMonitor) FSetup.CreateDriveMonitor = WatchSystemDrives;
  try {
    FDriveMonitor = FSetup.CreateDriveMonitor([this] {
      std::lock_guard<TReentrantLock> guard(CriticalSection);
      TMsgElement msg;
      msg.MsgType = "DrivesChanged";
      FMsgQue.Enqueue(msg);
    });
  } catch (...) {
    FDriveMonitor.reset();
  }
}

void TWebModule1::AltProcessMessages(TMessageQueue& queue, double AppStartTime) {
  quorvane::AltProcessMessages(queue, AppStartTime);
}

TWebReply TWebModule1::HandleRequest(const TWebRequest& request) {
  // Held from the start to the end of the request, also when the handler throws.
  std::lock_guard<TReentrantLock> request_lock(CriticalSection);
  TWebReply reply;
  WebModule1DefaultHandlerAction(request, reply);
  return reply;
}

void TWebModule1::WebModule1DefaultHandlerAction(const TWebRequest& request, TWebReply& reply) {
  std::lock_guard<TReentrantLock> inner(CriticalSectionInner);
  if (QuitRequested || FFinishing) return;
  reply.Body.clear();
  if (request.Method == "GET") {
    if (request.Path == "/" && !FPageGetted) ServePage(reply);
    return;
  }
  TJsonValue json;
  if (Dispatch(request.Fields.Get("Operation"), request.Fields, json))
    reply.Body = json.ToEscapedJson();
}

void TWebModule1::ServePage(TWebReply& reply) {
  const std::string file = AppStartPath + "index.html";
  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open the page " + file);
  std::ostringstream content;
  content << in.rdbuf();
  if (in.bad()) throw std::runtime_error("cannot read the page " + file);
  std::string text = content.str();
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
  std::string body;
  body.reserve(text.size() + 64);
  for (const std::string& line : SplitLines(text)) {
    body.push_back('\r');
    body += line;
  }
  reply.Headers.emplace_back("Content-Encoding", "UTF-8");
  reply.Body = std::move(body);
  FPageGetted = true;
}

bool TWebModule1::Dispatch(const std::string& operation, const TFormFields& fields,
                           TJsonValue& reply) {
  if (operation == "BurnFlashDrive") return reply = BurnFlashDriveAction(fields), true;
  if (operation == "CheckBurn") return reply = CheckBurnAction(fields), true;
  if (operation == "CancelCurrent") return reply = CancelCurrentAction(), true;
  if (operation == "StopAll") return reply = StopAllAction(), true;
  if (operation == "CheckMessages") return reply = CheckMessagesAction(), true;
  if (operation == "GetFlashDrives") return reply = GetFlashDrivesAction(), true;
  if (operation == "ResumeAll") return false;
  if (operation == "FlOpnDlg") return reply = FlOpnDlgAction(fields), true;
  if (operation == "GetElevation") return false;
  if (operation == "Disable") return reply = DisableAction(fields), true;
  if (operation == "Enable") return reply = EnableAction(fields), true;
  if (operation == "LogMessage") return false;
  if (operation == "PostMessages") return false;
  if (operation == "SetSessionID") return reply = SetSessionIDAction(fields), true;
  if (operation == "GetSessionId") return reply = GetSessionIdAction(), true;
  if (operation == "WriteLogMessage") return false;
  if (operation == "GetExistLoaders") return reply = GetExistLoadersAction(), true;
  if (operation == "CheckDrive") return reply = CheckDriveAction(fields), true;
  if (operation == "DriveCheckState") return reply = DriveCheckStateAction(), true;
  if (operation == "feedback") return ForwardAction(fields, "utils/feedback"), false;
  if (operation == "userinfo") return ForwardAction(fields, "utils/userinfo"), false;
  if (operation == "FinishWorks") return FinishWorksAction(), false;
  if (operation == "GetVmTools") return reply = GetVmToolsAction(), true;
  if (operation == "TestInVm") return reply = TestInVmAction(fields), true;
  reply = TJsonValue();
  reply.AddStatus("Error", "Command not recognized");
  return true;
}

}  // namespace quorvane
