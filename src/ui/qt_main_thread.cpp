// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "ui/qt_main_thread.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QObject>
#include <QThread>
#include <QTimer>
#include <chrono>
#include <thread>

namespace quorvane {

namespace {

// Work handed over from a worker must not take the interface thread down.
void RunQuietly(const std::function<void()>& work) {
  try {
    if (work) work();
  } catch (...) {
  }
}

}  // namespace

TQtMainThread::TQtMainThread() : FReceiver(std::make_unique<QObject>()) {}

TQtMainThread::~TQtMainThread() = default;

bool TQtMainThread::OnMainThread() const { return QThread::currentThread() == FReceiver->thread(); }

void TQtMainThread::RunAndWait(std::function<void()> work) {
  if (OnMainThread()) {
    RunQuietly(work);
    return;
  }
  // Returns once the call has run, or once it has been dropped because the receiver (and
  // with it the interface) went away: a waiting worker is never left hanging.
  QMetaObject::invokeMethod(FReceiver.get(), [work = std::move(work)] { RunQuietly(work); },
                            Qt::BlockingQueuedConnection);
}

void TQtMainThread::Post(std::function<void()> work) {
  QMetaObject::invokeMethod(FReceiver.get(), [work = std::move(work)] { RunQuietly(work); },
                            Qt::QueuedConnection);
}

void TQtMainThread::ServeUntil(const std::function<bool()>& done) {
  if (!OnMainThread()) {
    while (!done()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return;
  }
  // A short timer wakes the wait below, so that a condition that turns true without an
  // event of its own is still seen.
  QTimer wake;
  wake.start(10);
  while (!done()) {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                    QEventLoop::WaitForMoreEvents);
  }
}

TDispatcherScope::TDispatcherScope(IMainThreadDispatcher* dispatcher)
    : FPrevious(HasMainThreadDispatcher() ? &MainThread() : nullptr) {
  SetMainThreadDispatcher(dispatcher);
}

TDispatcherScope::~TDispatcherScope() { SetMainThreadDispatcher(FPrevious); }

}  // namespace quorvane
