// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The job list's events turned into queued messages for the browser page.
#include <mutex>

#include "jobs/jobs.h"
#include "server/web_module.h"

namespace quorvane {

namespace {

// Queues a message under the request lock, so that no command sees it half queued.
void Queue(TWebModule1& module, const TMsgElement& msg) {
  std::lock_guard<TReentrantLock> guard(module.CriticalSection);
  module.MsgQue().Enqueue(msg);
}

TMsgElement Plain(const char* type, const std::string& first = "",
                  const std::string& second = "") {
  TMsgElement msg;
  msg.MsgType = type;
  msg.MsgTextFst = first;
  msg.MsgTextScnd = second;
  return msg;
}

// A job event carries the job's state at the moment the procedure runs.
void QueueJobMessage(void* Sender, const char* type, const std::string& JobName) {
  if (!Sender) return;
  auto& module = *static_cast<TWebModule1*>(Sender);
  TJobs* jobs = module.Jobs();
  if (!jobs || !jobs->GetJobByName(JobName)) return;
  std::lock_guard<TReentrantLock> guard(module.CriticalSection);
  TJob* job = jobs->GetJobByName(JobName);
  if (!job) return;
  TMsgElement msg;
  msg.MsgType = type;
  msg.MsgTextFst = std::to_string(job->Progress());
  msg.MsgTextScnd = job->Status();
  msg.MsgTextThrd = job->Error();
  msg.MsgTextFrth = job->Name();
  module.MsgQue().Enqueue(msg);
}

}  // namespace

void WebFormatStart(void* Sender, std::uint8_t Mode, char Drive) {
  if (!Sender) return;
  auto& module = *static_cast<TWebModule1*>(Sender);
  const char* kind = Mode == 0 ? "Format" : Mode == 1 ? "ChangeMBR" : "";
  Queue(module, Plain("FormatStart", kind, std::string(1, Drive)));
}

void WebFormatFinished(void* Sender, const std::string& Error) {
  if (!Sender) return;
  auto& module = *static_cast<TWebModule1*>(Sender);
  Queue(module, Plain("FormatFinished", Error));
}

void WebMBRReplaceFinished(void* Sender, const std::string& Error) {
  if (!Sender) return;
  auto& module = *static_cast<TWebModule1*>(Sender);
  Queue(module, Plain("MBRChangeFinished", Error));
}

void WebFormatProgress(void* Sender, const std::string& Step, std::int32_t Percent) {
  if (!Sender) return;
  auto& module = *static_cast<TWebModule1*>(Sender);
  Queue(module, Plain("FormatProgress", Step, Percent >= 0 ? std::to_string(Percent) : ""));
}

void WebWorksStart(void* Sender) {
  if (!Sender) return;
  Queue(*static_cast<TWebModule1*>(Sender), Plain("BurnStarted"));
}

void WebJobStarted(void* Sender, const std::string& JobName) {
  QueueJobMessage(Sender, "JobStarted", JobName);
}

void WebJobSync(void* Sender, const std::string& JobName) {
  QueueJobMessage(Sender, "JobSync", JobName);
}

void WebJobFinished(void* Sender, const std::string& JobName) {
  QueueJobMessage(Sender, "JobFinished", JobName);
}

void WebAllJobsFinished(void* Sender) {
  if (!Sender) return;
  auto& module = *static_cast<TWebModule1*>(Sender);
  std::lock_guard<TReentrantLock> guard(module.CriticalSection);
  module.MsgQue().Enqueue(Plain("BurnFinished"));
  // Entries still waiting are switched off, so that no later run starts them.
  if (TJobs* jobs = module.Jobs()) jobs->DeactAll();
}

}  // namespace quorvane
