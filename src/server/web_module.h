// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The control module of the online run: one instance serves every request of the run,
// one at a time. It owns the job list and the event queue, serves the browser page once,
// and answers every other request as the command named in the form field "Operation".
#pragma once

#include <atomic>
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/message_queue.h"
#include "jobs/burn_preflight.h"
#include "jobs/vm_test_boot_services.h"
#include "loaders/loader_catalog.h"
#include "server/file_dialog.h"
#include "server/form_fields.h"
#include "server/message_que.h"
#include "server/reentrant_lock.h"
#include "service/json_value.h"

namespace quorvane {

class TDriveCheckRun;
class TDriveMonitor;
class TJobs;

// What the module is made with; empty members take the program's own.
struct TControlModuleSetup {
  // The job list (default: the program's loaders and drive step).
  std::function<std::unique_ptr<TJobs>()> CreateJobs;
  // Folder of the page "index.html", with a trailing "/" (default: the resource folder).
  std::string AppStartPath;
  // The third command-line argument, handed back by "GetExistLoaders".
  std::string ExistLoaders;
  // Relays a message to the remote service (default: ForwardMessage).
  std::function<void(TJsonValue Msg, const std::string& Path)> Forward;
  // The file-open dialog (default: RunFileOpenDialog).
  std::function<TFileDialogResult(const TFileDialogRequest&)> OpenFileDialog;
  // Puts the archive library in place; the message to show when it cannot, empty on
  // success (default: Prepare7zLibrary).
  std::function<std::string()> PrepareArchiveLibrary;
  // The check before a burn (default: RunBurnPreflight).
  TBurnPreflight Preflight;
  // Watches for drives plugged in or pulled out (default: udev); each change queues the
  // message "DrivesChanged", upon which the page reads the drive list again.
  std::function<std::unique_ptr<TDriveMonitor>(std::function<void()> on_change)>
      CreateDriveMonitor;
  // The users whose connections the server serves (default: DefaultClientUids).
  std::vector<uid_t> ClientUids;
  // Opens the page's opening file in the desktop user's browser (default: ShellOpen).
  std::function<void(const std::string& file)> OpenBrowser;
  // The lookup of QEMU and OVMF and the start of a drive in a virtual machine (default:
  // the program's own).
  TVmTestBootServices VmTestBoot;
};

// The most entries one burn takes: every loader type on each of the 26 drive letters.
inline constexpr int kMaxBurnEntries = 26 * kLoaderCount;

// A burn as the page asks for it.
struct TBurnFields {
  struct TEntry {
    std::int32_t Type = 0;
    std::string Path, Name;
  };
  char Drive = 0;
  std::uint8_t Mode = 0;
  std::uint8_t FileSystem = 0;
  bool CheckCapacity = false;  // mode new: "CheckCapacity" "1", the drive's real capacity first
  bool Verify = true;  // "Verify" "0": the entries are not read back after they are written
  std::vector<TEntry> Entries;
};

struct TWebRequest {
  std::string Method;
  std::string Path;
  TFormFields Fields;  // of the body only
};

struct TWebReply {
  std::string Body;
  std::vector<std::pair<std::string, std::string>> Headers;  // besides the defaults
};

class TWebModule1 {
 public:
  // Creation on the first request: puts the archive library in place, sets
  // ClientConnected, makes the queue and the job list and plugs the event procedures into
  // the job list. Without the archive library the run ends as after "FinishWorks".
  explicit TWebModule1(TControlModuleSetup setup);
  ~TWebModule1();
  TWebModule1(const TWebModule1&) = delete;
  TWebModule1& operator=(const TWebModule1&) = delete;

  // One request, under the request lock. Throws when a handler fails unexpectedly (the
  // server then answers with its generic error); the locks are released all the same.
  TWebReply HandleRequest(const TWebRequest& request);

  // The online pump's step: dispatches the main thread's waiting messages, dropping quit
  // messages. Uses no module state.
  static void AltProcessMessages(TMessageQueue& queue, double AppStartTime);

  TJobs* Jobs() const { return FJobs.get(); }
  TMsgQue& MsgQue() { return FMsgQue; }

  // The request lock: held for each whole request and by every event procedure while it
  // queues its message.
  TReentrantLock CriticalSection;
  // Held by the request handler inside the request lock.
  TReentrantLock CriticalSectionInner;

  const std::string AppStartPath;

 private:
  // Starts the drive monitor.
  void WatchDrives();
  void WebModule1DefaultHandlerAction(const TWebRequest& request, TWebReply& reply);
  void ServePage(TWebReply& reply);
  // The command table; false when the command has no JSON reply.
  bool Dispatch(const std::string& operation, const TFormFields& fields, TJsonValue& reply);

  // Job commands.
  TJsonValue BurnFlashDriveAction(const TFormFields& fields);
  // The check before a burn, with the same fields: refusals as the error, else the
  // drive's mounts and the remarks for the question.
  TJsonValue CheckBurnAction(const TFormFields& fields);
  TPreflightReport Preflight(const TBurnFields& burn);
  TJsonValue CancelCurrentAction();
  TJsonValue StopAllAction();
  TJsonValue CheckMessagesAction();
  TJsonValue DisableAction(const TFormFields& fields);
  TJsonValue EnableAction(const TFormFields& fields);
  void FinishWorksAction();
  // Drive, file and session commands.
  TJsonValue GetFlashDrivesAction();
  TJsonValue FlOpnDlgAction(const TFormFields& fields);
  TJsonValue SetSessionIDAction(const TFormFields& fields);
  TJsonValue GetSessionIdAction();
  TJsonValue GetExistLoadersAction();
  // The check of a drive against its manifest: started for "FlashDrive", then polled
  // for its progress and, once done, its result.
  TJsonValue CheckDriveAction(const TFormFields& fields);
  TJsonValue DriveCheckStateAction();
  bool DriveCheckRunning() const;
  void ForwardAction(const TFormFields& fields, const std::string& path);
  // Virtual-machine commands: "GetVmTools" answers with what a boot under "BIOS" and
  // "UEFI" lacks (empty: nothing); "TestInVm" starts the drive "Drive" under "Firmware".
  TJsonValue GetVmToolsAction();
  TJsonValue TestInVmAction(const TFormFields& fields);

  friend void WebFormatStart(void* Sender, std::uint8_t Mode, char Drive);
  friend void WebFormatFinished(void* Sender, const std::string& Error);
  friend void WebMBRReplaceFinished(void* Sender, const std::string& Error);

  TControlModuleSetup FSetup;
  bool FPageGetted = false;
  // From the report of a drive step's start to the report of its end.
  // "FinishWorks" is waiting for the current job: every other request is answered as
  // after the finish.
  std::atomic<bool> FFinishing{false};
  TMsgQue FMsgQue;
  std::unique_ptr<TJobs> FJobs;
  std::unique_ptr<TDriveCheckRun> FDriveCheck;  // the latest check, kept for its result
  std::unique_ptr<TDriveMonitor> FDriveMonitor;  // made last, stopped first
};

// The event procedures plugged into the job list; `Sender` is the module.
void WebFormatStart(void* Sender, std::uint8_t Mode, char Drive);
void WebFormatFinished(void* Sender, const std::string& Error);
void WebMBRReplaceFinished(void* Sender, const std::string& Error);
// "FormatProgress": the part of the drive step under way ("Checking capacity...") and its
// share done, empty when it has no figure.
void WebFormatProgress(void* Sender, const std::string& Step, std::int32_t Percent);
void WebWorksStart(void* Sender);
void WebJobStarted(void* Sender, const std::string& JobName);
void WebJobSync(void* Sender, const std::string& JobName);
void WebJobFinished(void* Sender, const std::string& JobName);
void WebAllJobsFinished(void* Sender);

}  // namespace quorvane
