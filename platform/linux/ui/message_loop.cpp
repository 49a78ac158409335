#include "platform/linux/ui/message_loop.h"

#include <FL/Fl.H>

#include "platform/linux/ui/dialog.h"
#include "platform/linux/ui/post_queue.h"
#include "platform/linux/ui/trace.h"

namespace ui {
namespace {

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
  if (!record || record->dialog().ended()) return false;
  record->Handle(message, wParam, lParam);
  return true;
}

bool Post(const PostedMessage& message) {
  return FromHandle(message.window) && Posted().Push(message);
}

}  // namespace ui
