// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/ui/message_loop.h"

#include <FL/Fl.H>

#include "platform/linux/ui/dialog.h"
#include "platform/linux/ui/trace.h"

namespace ui {

bool PostQueue::Push(const PostedMessage& message) {
  bool wake;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (messages_.size() >= Capacity) return false;
    messages_.push_back(message);
    wake = !wakePending_;
    wakePending_ = true;
  }
  if (wake) wake_();
  return true;
}

// The consumer drains to empty after every wake-up; finding the queue
// empty re-arms the wake-up for the next poster.
std::optional<PostedMessage> PostQueue::Pop() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (messages_.empty()) {
    wakePending_ = false;
    return std::nullopt;
  }
  PostedMessage message = messages_.front();
  messages_.pop_front();
  return message;
}

namespace {

SentWatcher sentWatcher = nullptr;

// A plain Fl::awake() only makes Fl::wait return; the messages themselves
// wait in the queue, which never drops one.
PostQueue& Posted() {
  static PostQueue queue([] { Fl::awake(); });
  return queue;
}

}  // namespace

void PumpOnce() {
  Fl::wait();
  DeliverPosted();
  trace::Publish();
}

void DeliverPosted() {
  while (auto message = Posted().Pop())
    DeliverTo(message->window, message->message, message->wParam, message->lParam);
}

bool DeliverTo(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  WindowRecord* record = FromHandle(window);
  if (!record || record->Owner().Ended()) return false;
  record->Handle(message, wParam, lParam);
  return true;
}

void WatchSent(SentWatcher watcher) { sentWatcher = watcher; }

bool Post(const PostedMessage& message) {
  return FromHandle(message.window) && Posted().Push(message);
}

}  // namespace ui

extern "C" {

// Handled before it returns, on the calling thread, which must be the GUI
// thread: the dialog's messages go through its procedure, a control's to
// the control.
LRESULT WINAPI SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  ui::WindowRecord* record = ui::FromHandle(window);
  if (record && ui::sentWatcher) ui::sentWatcher(window, message, wParam, lParam);
  return record ? record->Handle(message, wParam, lParam) : 0;
}

// Any thread. The message is delivered on the GUI thread, in the order of
// posting; FALSE when the window does not exist or the queue is full.
BOOL WINAPI PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return ui::Post({window, message, wParam, lParam}) ? TRUE : FALSE;
}

}  // extern "C"
