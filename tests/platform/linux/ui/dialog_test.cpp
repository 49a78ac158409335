// SPDX-License-Identifier: GPL-3.0-or-later
// The dialog manager in a real X server under a real window manager: built
// from a template, run modally, driven through the platform calls the
// system makes, with posted messages and timers arriving on the loop.
#include "platform/linux/ui/dialog.h"

#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

#include "platform/linux/ui/display.h"
#include "platform/linux/ui/picture.h"
#include "platform/linux/ui/trace.h"
#include "window/resource.h"

// Last: Xlib defines None and Bool, names gtest uses.
#include <FL/x.H>

namespace ui {
namespace {

resources::DialogItem Item(int id, const char* cls, DWORD style, int x, int y, int cx, int cy,
                           const char* text = "") {
  resources::DialogItem item;
  item.id = static_cast<WORD>(id);
  item.className = cls;
  item.style = style;
  item.x = x;
  item.y = y;
  item.cx = cx;
  item.cy = cy;
  item.text = text;
  return item;
}

// A small dialog of the kinds of controls the player has.
resources::DialogTemplate PlayerLikeTemplate() {
  resources::DialogTemplate t;
  t.style = 0x80CA0841;  // popup, caption, system menu, minimise box, centred
  t.cx = 83;
  t.cy = 59;
  t.caption = "Test";
  t.pointSize = 9;
  t.faceName = "ＭＳ Ｐゴシック";
  const DWORD button = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_BITMAP;
  t.items.push_back(Item(IDC_PLAY, "Button", button, 7, 39, 14, 14));
  t.items.push_back(Item(IDC_STOP, "Button", button, 21, 39, 14, 14));
  t.items.push_back(Item(IDC_SLIDER, "msctls_trackbar32", 0x50010018, 7, 22, 69, 13, "Slider1"));
  t.items.push_back(Item(IDC_TRACK, "Static", 0x50021001, 7, 7, 30, 12, "00 / 00"));
  return t;
}

// The dialog procedure of each test, and what reached it.
std::function<INT_PTR(HWND, UINT, WPARAM, LPARAM)> handler;
struct Received {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};
std::vector<Received> received;

INT_PTR CALLBACK Procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  received.push_back({message, wParam, lParam});
  return handler ? handler(dialog, message, wParam, lParam) : FALSE;
}

std::string Described(Dialog& dialog, const std::string& key) {
  TraceWriter out;
  dialog.Describe(out);
  std::string needle = key + "=";
  size_t at = out.Text().find("\n" + needle);
  if (out.Text().compare(0, needle.size(), needle) == 0)
    at = 0;
  else if (at != std::string::npos)
    at++;
  if (at == std::string::npos) return "(absent)";
  size_t end = out.Text().find('\n', at);
  return out.Text().substr(at + needle.size(), end - at - needle.size());
}

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(OpenDisplay()) << "these tests need an X display";
    received.clear();
    handler = nullptr;
  }
};

TEST_F(DialogTest, FontIsTheJapaneseGothicFace) {
  // IPAPGothic at 12 pixels; another face (the fallback FLTK picks for a
  // misspelt name) has other widths, and the window other proportions.
  DialogFont font = OpenDialogFont(9);
  EXPECT_EQ(font.size, 12);
  EXPECT_EQ(font.units.x, 7);
  EXPECT_EQ(font.units.y, 13);
  std::unique_ptr<Dialog> dialog = Dialog::Create(PlayerLikeTemplate(), Procedure);
  ASSERT_TRUE(dialog);
  EXPECT_EQ(Described(*dialog, "dialog.client"), "145 96");
}

TEST_F(DialogTest, UnknownControlClassFailsTheDialog) {
  resources::DialogTemplate t = PlayerLikeTemplate();
  t.items.push_back(Item(1010, "SysListView32", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10));
  EXPECT_FALSE(Dialog::Create(t, Procedure));
  EXPECT_TRUE(Dialog::Live().empty());
  EXPECT_TRUE(received.empty());
}

TEST_F(DialogTest, ControlsAnswerThePlatformCalls) {
  std::unique_ptr<Dialog> dialog = Dialog::Create(PlayerLikeTemplate(), Procedure);
  ASSERT_TRUE(dialog);
  HWND d = dialog->Hwnd();
  HWND play = GetDlgItem(d, IDC_PLAY);
  ASSERT_NE(play, nullptr);
  EXPECT_EQ(GetDlgItem(d, 4242), nullptr);
  EXPECT_EQ(GetDlgItem(play, IDC_PLAY), nullptr);  // a control has no items

  // Texts keep their code page 932 bytes and show as Japanese.
  char text[64];
  EXPECT_EQ(GetDlgItemTextA(d, IDC_TRACK, text, sizeof text), 7u);
  EXPECT_STREQ(text, "00 / 00");
  const char* japanese = "\x95\x5C\x5C";  // "表\"
  EXPECT_TRUE(SetDlgItemTextA(d, IDC_TRACK, japanese));
  EXPECT_EQ(GetDlgItemTextA(d, IDC_TRACK, text, sizeof text), 3u);
  EXPECT_STREQ(text, japanese);
  EXPECT_EQ(Described(*dialog, "control.1000.text"), "表\\\\");
  EXPECT_EQ(GetDlgItemTextA(d, IDC_TRACK, text, 2), 1u);
  EXPECT_STREQ(text, "\x95");

  // Enabling reports the previous state; a disabled button ignores clicks.
  EXPECT_FALSE(EnableWindow(play, FALSE));
  EXPECT_TRUE(EnableWindow(play, FALSE));
  EXPECT_FALSE(IsWindowEnabled(play));
  SendMessageA(play, BM_CLICK, 0, 0);
  EXPECT_TRUE(received.empty());
  EXPECT_TRUE(EnableWindow(play, TRUE));
  SendMessageA(play, BM_CLICK, 0, 0);
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].message, UINT(WM_COMMAND));
  EXPECT_EQ(received[0].wParam, WPARAM(IDC_PLAY) | (WPARAM(BN_CLICKED) << 16));
  EXPECT_EQ(received[0].lParam, reinterpret_cast<LPARAM>(play));

  // Enter presses the focused button, and is IDOK elsewhere.
  received.clear();
  dialog->Item(IDC_STOP)->Widget().take_focus();
  dialog->PressDefault();
  dialog->Item(IDC_SLIDER)->Widget().take_focus();
  dialog->PressDefault();
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(LOWORD(received[0].wParam), IDC_STOP);
  EXPECT_EQ(received[1].wParam, WPARAM(IDOK));

  // The trackbar clamps what it is told.
  HWND slider = GetDlgItem(d, IDC_SLIDER);
  SendMessageA(slider, TBM_SETRANGEMAX, FALSE, 275);
  SendMessageA(slider, TBM_SETRANGEMIN, FALSE, 0);
  SendMessageA(slider, TBM_SETPOS, TRUE, 300);
  EXPECT_EQ(SendMessageA(slider, TBM_GETPOS, 0, 0), 275);
  SendMessageA(slider, TBM_SETRANGEMAX, FALSE, 100);
  EXPECT_EQ(SendMessageA(slider, TBM_GETPOS, 0, 0), 100);
  EXPECT_EQ(SendMessageA(slider, TBM_GETRANGEMAX, 0, 0), 100);
  EXPECT_EQ(Described(*dialog, "control.1002.range"), "0 100");
  // An inverted range is kept as given: a new maximum stops the thumb at
  // the minimum, a new position goes to the maximum.
  SendMessageA(slider, TBM_SETRANGEMIN, FALSE, 40);
  SendMessageA(slider, TBM_SETRANGEMAX, FALSE, 10);
  EXPECT_EQ(SendMessageA(slider, TBM_GETPOS, 0, 0), 40);
  SendMessageA(slider, TBM_SETPOS, TRUE, 70);
  EXPECT_EQ(SendMessageA(slider, TBM_GETPOS, 0, 0), 10);
  SendMessageA(slider, TBM_SETPOS, TRUE, 0);
  EXPECT_EQ(SendMessageA(slider, TBM_GETPOS, 0, 0), 10);
  EXPECT_EQ(Described(*dialog, "control.1002.range"), "40 10");

  // Pictures go on buttons and in the title bar; each call hands back the
  // one it replaced. The dialog procedure sees WM_SETICON first.
  resources::Image image;
  image.width = image.height = 16;
  image.pixels.assign(256, 0xFF0000FF);
  Picture* first = Picture::Keep(std::make_unique<Picture>(IMAGE_BITMAP, image));
  Picture* second = Picture::Keep(std::make_unique<Picture>(IMAGE_BITMAP, image));
  EXPECT_EQ(SendMessageA(play, BM_SETIMAGE, IMAGE_BITMAP, LPARAM(first->Handle())), 0);
  EXPECT_EQ(SendMessageA(play, BM_SETIMAGE, IMAGE_BITMAP, LPARAM(second->Handle())),
            LRESULT(first->Handle()));
  EXPECT_EQ(SendMessageA(play, BM_GETIMAGE, IMAGE_BITMAP, 0), LRESULT(second->Handle()));
  EXPECT_EQ(Described(*dialog, "control.1005.image"), "16x16");
  EXPECT_EQ(Described(*dialog, "control.1006.image"), "none");
  Picture* icon = Picture::Keep(std::make_unique<Picture>(IMAGE_ICON, image));
  received.clear();
  EXPECT_EQ(SendMessageA(d, WM_SETICON, ICON_SMALL, LPARAM(icon->Handle())), 0);
  EXPECT_EQ(SendMessageA(d, WM_SETICON, ICON_SMALL, LPARAM(icon->Handle())),
            LRESULT(icon->Handle()));
  EXPECT_EQ(received.size(), 2u);
  EXPECT_EQ(Described(*dialog, "dialog.icon"), "16x16");

  // A handle of a dead window is refused, not followed.
  dialog.reset();
  EXPECT_EQ(GetDlgItem(d, IDC_PLAY), nullptr);
  EXPECT_EQ(SendMessageA(play, TBM_GETPOS, 0, 0), 0);
  EXPECT_FALSE(PostMessageA(d, WM_USER, 0, 0));
}

TEST_F(DialogTest, RunsFromInitDialogToEndDialog) {
  std::unique_ptr<Dialog> dialog = Dialog::Create(PlayerLikeTemplate(), Procedure);
  ASSERT_TRUE(dialog);
  constexpr int Posts = 200;
  constexpr UINT_PTR TimerId = 7;
  std::thread poster;
  bool shownDuringInit = true;
  RECT hiddenRect{}, shownRect{};
  int ticks = 0, posts = 0;
  std::string focus;

  handler = [&](HWND d, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
    if (message == WM_INITDIALOG) {
      shownDuringInit = dialog->IsShown();
      SetWindowPos(d, nullptr, 100, 120, 0, 0, SWP_NOZORDER | SWP_NOSIZE);
      GetWindowRect(d, &hiddenRect);
      SetTimer(d, TimerId, 30, nullptr);
      poster = std::thread([d] {
        for (int i = 0; i < Posts; i++) PostMessageA(d, WM_USER, static_cast<WPARAM>(i), 0);
      });
      return TRUE;
    }
    if (message == WM_USER) {
      EXPECT_EQ(int(wParam), posts);
      posts++;
    }
    if (message == WM_TIMER) {
      EXPECT_EQ(wParam, TimerId);
      if (++ticks == 3) {
        poster.join();
        GetWindowRect(d, &shownRect);
        focus = Described(*dialog, "dialog.focus");
        KillTimer(d, TimerId);
        EndDialog(d, 42);
        PostMessageA(d, WM_USER + 1, 0, 0);  // too late: the dialog has ended
      }
    }
    return TRUE;
  };
  EXPECT_EQ(dialog->Run(0), 42);

  ASSERT_FALSE(received.empty());
  EXPECT_EQ(received[0].message, UINT(WM_INITDIALOG));
  EXPECT_EQ(received[0].wParam, WPARAM(GetDlgItem(dialog->Hwnd(), IDC_PLAY)));
  EXPECT_FALSE(shownDuringInit);
  // Hidden, the frame is the client area at the place it will take.
  EXPECT_EQ(hiddenRect.left, 100);
  EXPECT_EQ(hiddenRect.top, 120);
  EXPECT_EQ(hiddenRect.right - hiddenRect.left, 145);
  // Shown under the window manager, the frame is there exactly, and larger.
  EXPECT_EQ(shownRect.left, 100);
  EXPECT_EQ(shownRect.top, 120);
  EXPECT_GT(shownRect.bottom - shownRect.top, 96);
  EXPECT_EQ(focus, std::to_string(IDC_PLAY));
  EXPECT_EQ(posts, Posts);
  EXPECT_EQ(ticks, 3);
  for (const Received& r : received) EXPECT_NE(r.message, UINT(WM_USER + 1));

  // The killed timer stays quiet.
  received.clear();
  for (int i = 0; i < 5; i++) Fl::wait(0.02);
  EXPECT_TRUE(received.empty());
}

TEST_F(DialogTest, EndedDuringInitDialogIsNeverShown) {
  std::unique_ptr<Dialog> dialog = Dialog::Create(PlayerLikeTemplate(), Procedure);
  ASSERT_TRUE(dialog);
  handler = [&](HWND d, UINT message, WPARAM, LPARAM) -> INT_PTR {
    if (message == WM_INITDIALOG) {
      PostMessageA(d, WM_USER, 0, 0);
      EndDialog(d, 7);
    }
    return TRUE;
  };
  EXPECT_EQ(dialog->Run(0), 7);
  EXPECT_FALSE(dialog->IsShown());
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].message, UINT(WM_INITDIALOG));
  // DS_CENTER: the frame, which is the client area while never shown, is
  // centred on the 1024 x 768 screen.
  RECT rect;
  GetWindowRect(dialog->Hwnd(), &rect);
  EXPECT_EQ(rect.left, (1024 - 145) / 2);
  EXPECT_EQ(rect.top, (768 - 96) / 2);
}

TEST_F(DialogTest, IconifiedWindowReportsItsRestoredFrame) {
  std::unique_ptr<Dialog> dialog = Dialog::Create(PlayerLikeTemplate(), Procedure);
  ASSERT_TRUE(dialog);
  RECT normal{}, iconic{};
  WINDOWPLACEMENT placement{};
  BOOL wasIconic = FALSE, isIconicAfter = TRUE;
  RECT area{};
  int ticks = 0;
  handler = [&](HWND d, UINT message, WPARAM, LPARAM) -> INT_PTR {
    if (message == WM_INITDIALOG) {
      SetWindowPos(d, nullptr, -10, -5, 0, 0, SWP_NOZORDER | SWP_NOSIZE);
      SetTimer(d, 1, 20, nullptr);
    } else if (message == WM_TIMER) {
      ticks++;
      if (ticks == 1) {
        GetWindowRect(d, &normal);
        Fl::first_window()->iconize();
      } else if (IsIconic(d) || ticks > 100) {
        wasIconic = IsIconic(d);
        GetWindowRect(d, &iconic);
        placement.length = sizeof placement;
        GetWindowPlacement(d, &placement);
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
        EndDialog(d, 0);
      }
    }
    return TRUE;
  };
  dialog->Run(0);
  // Off the top left, as a stored negative position asks.
  EXPECT_EQ(normal.left, -10);
  EXPECT_EQ(normal.top, -5);
  EXPECT_TRUE(wasIconic);
  EXPECT_EQ(iconic.left, normal.left);
  EXPECT_EQ(iconic.top, normal.top);
  EXPECT_EQ(placement.showCmd, UINT(SW_SHOWMINIMIZED));
  EXPECT_EQ(placement.rcNormalPosition.left + area.left, normal.left);
  EXPECT_EQ(placement.rcNormalPosition.top + area.top, normal.top);
  (void)isIconicAfter;
}

TEST_F(DialogTest, RefusedRequestsAreSurvivedAndToldOnce) {
  // What a window another client destroyed would bring: BadWindow. Xlib's
  // own handler would end the process here.
  testing::internal::CaptureStderr();
  const Window gone = 0x7FFFFFF;
  XMapWindow(fl_display, gone);
  XSync(fl_display, False);
  XUnmapWindow(fl_display, gone);
  XSync(fl_display, False);
  std::string told = testing::internal::GetCapturedStderr();
  EXPECT_EQ(std::count(told.begin(), told.end(), '\n'), 1) << told;
  EXPECT_NE(told.find("refused a request"), std::string::npos) << told;
  // The connection still serves.
  std::unique_ptr<Dialog> dialog = Dialog::Create(PlayerLikeTemplate(), Procedure);
  ASSERT_TRUE(dialog);
  EXPECT_NE(GetDlgItem(dialog->Hwnd(), IDC_PLAY), nullptr);
}

}  // namespace
}  // namespace ui
