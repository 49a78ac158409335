// SPDX-License-Identifier: GPL-3.0-or-later
// The window's template as the build embeds it: what the dialog manager
// will build the window from.
#include <gtest/gtest.h>
#include <strings.h>

#include "platform/linux/resources/resources.h"
#include "window/resource.h"

namespace {

using resources::DialogItem;
using resources::EmbeddedRes;

TEST(EmbeddedTemplate, EveryResourceIsThereInJapanese) {
  const auto entries = resources::ParseRes(EmbeddedRes());
  ASSERT_TRUE(entries);
  const std::pair<std::string, std::string> wanted[] = {
      {"#5", "#102"}, {"#14", "#101"}, {"#2", "#104"}, {"#2", "#105"},
      {"#2", "#106"}, {"#2", "#107"},  {"#2", "#108"}};
  for (const auto& [type, name] : wanted) {
    bool found = false;
    for (const auto& e : *entries) found = found || (e.type == type && e.name == name);
    EXPECT_TRUE(found) << type << " " << name;
  }
  for (const auto& e : *entries) EXPECT_EQ(e.language, 0x0411) << e.type << " " << e.name;
}

TEST(EmbeddedTemplate, MainWindow) {
  const auto dialog = resources::LoadDialog(EmbeddedRes(), IDD_MAIN);
  ASSERT_TRUE(dialog);
  // Popup, caption, system menu, minimise box, centred, own font, screen
  // coordinates; not visible, no maximise box, no sizing border.
  EXPECT_EQ(dialog->style, 0x80CA0841u);
  EXPECT_EQ(dialog->style & (WS_VISIBLE | WS_MAXIMIZEBOX | WS_THICKFRAME), 0u);
  EXPECT_EQ(dialog->exStyle, 0u);
  EXPECT_EQ(dialog->x, 0);
  EXPECT_EQ(dialog->y, 0);
  EXPECT_EQ(dialog->cx, 83);
  EXPECT_EQ(dialog->cy, 59);
  EXPECT_EQ(dialog->menu, "");
  EXPECT_EQ(dialog->className, "");
  EXPECT_EQ(dialog->caption, "Korvane");
  EXPECT_EQ(dialog->pointSize, 9);
  EXPECT_EQ(dialog->faceName, "ＭＳ Ｐゴシック");
}

TEST(EmbeddedTemplate, ControlsInTabOrder) {
  const auto dialog = resources::LoadDialog(EmbeddedRes(), IDD_MAIN);
  ASSERT_TRUE(dialog);
  struct Expected {
    WORD id;
    const char* className;
    const char* text;
    DWORD style;
    int x, y, cx, cy;
  };
  const Expected controls[] = {
      {IDC_PLAY, "Button", "", 0x50010080, 7, 39, 14, 14},
      {IDC_STOP, "Button", "", 0x50010080, 21, 39, 14, 14},
      {IDC_PREV, "Button", "", 0x50010080, 35, 39, 14, 14},
      {IDC_NEXT, "Button", "", 0x50010080, 49, 39, 14, 14},
      {IDC_PAGE, "Button", "", 0x50010080, 63, 39, 14, 14},
      {IDC_SLIDER, "msctls_trackbar32", "Slider1", 0x50010018, 7, 22, 69, 13},
      {IDC_TRACK, "Static", "00 / 00", 0x50021001, 7, 7, 30, 12},
      {IDC_LENGTH, "Static", "00 : 00", 0x50021001, 45, 7, 31, 12},
  };
  ASSERT_EQ(dialog->items.size(), std::size(controls));
  for (size_t i = 0; i < std::size(controls); i++) {
    const Expected& want = controls[i];
    const DialogItem& item = dialog->items[i];
    SCOPED_TRACE(want.id);
    EXPECT_EQ(item.id, want.id);
    // Window classes are matched without regard to case; windres stores
    // the names of classes it does not know in capitals.
    EXPECT_EQ(strcasecmp(item.className.c_str(), want.className), 0) << item.className;
    EXPECT_EQ(item.text, want.text);
    EXPECT_EQ(item.style, want.style);
    EXPECT_EQ(item.exStyle, 0u);
    EXPECT_EQ(item.x, want.x);
    EXPECT_EQ(item.y, want.y);
    EXPECT_EQ(item.cx, want.cx);
    EXPECT_EQ(item.cy, want.cy);
  }
}

}  // namespace
