// The Win32 window at the display scaling the Wine prefix sets (LogPixels):
// the manifest's per-monitor awareness, every position and size scaled from
// the 96-dpi values of the description, and the text drawn with a font of
// the scaled size. Run at 96 dpi, where nothing may change, and at 144 dpi
// (LORVANE_TEST_DPI says which); the 144-dpi run saves a picture.
#include <windows.h>
// After windows.h, whose types it uses.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "app/window_description.h"
#include "platform/toolkit.h"
#include "tests/windows/window/window_driver.h"

namespace lorvane {
namespace {

using testing::control_handle;
using testing::main_window_handle;

int expected_dpi() {
  const char* dpi = std::getenv("LORVANE_TEST_DPI");
  return dpi != nullptr ? std::atoi(dpi) : 96;
}

int scaled(int length) { return MulDiv(length, expected_dpi(), 96); }

RECT rect_in_parent(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  MapWindowPoints(nullptr, GetParent(window), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

// The height of a font's letters in the display's pixels.
int text_height(HFONT font) {
  const HDC device = CreateCompatibleDC(nullptr);
  const HGDIOBJ previous = SelectObject(device, font);
  TEXTMETRICA metrics{};
  GetTextMetricsA(device, &metrics);
  SelectObject(device, previous);
  DeleteDC(device);
  return metrics.tmHeight - metrics.tmInternalLeading;
}

class Win32WindowScaling : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::toolkit_initialize();
    const platform::ScreenSize screen = platform::screen_size();
    platform::create_main_window(main_window, centred_position(screen.width, screen.height));
    platform::show_controls();
    platform::show_main_window();
    ASSERT_NE(main_window_handle(), nullptr);
  }

  void TearDown() override {
    if (const HWND window = main_window_handle()) DestroyWindow(window);
    testing::drain_quit_message();
  }
};

TEST_F(Win32WindowScaling, ThePrefixHasTheDpiOfThisRunAndTheProgramIsAware) {
  const HDC screen = GetDC(nullptr);
  EXPECT_EQ(GetDeviceCaps(screen, LOGPIXELSX), expected_dpi());
  ReleaseDC(nullptr, screen);
  // The manifest's awareness: an unaware program would be told 96.
  using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
  const auto get_dpi_for_window =
      reinterpret_cast<GetDpiForWindowFunction>(reinterpret_cast<void (*)()>(
          GetProcAddress(GetModuleHandleA("user32.dll"), "GetDpiForWindow")));
  ASSERT_NE(get_dpi_for_window, nullptr);
  EXPECT_EQ(static_cast<int>(get_dpi_for_window(main_window_handle())), expected_dpi());
}

TEST_F(Win32WindowScaling, OuterSizeAndPlaceAreScaledAndCentred) {
  RECT rect{};
  ASSERT_TRUE(GetWindowRect(main_window_handle(), &rect));
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  EXPECT_EQ(width, scaled(main_window.width));
  EXPECT_EQ(height, scaled(main_window.height));
  // Centred on the whole screen, to the pixel that rounding 96-dpi values allows.
  EXPECT_NEAR(rect.left, (GetSystemMetrics(SM_CXSCREEN) - width) / 2, 2);
  EXPECT_NEAR(rect.top, (GetSystemMetrics(SM_CYSCREEN) - height) / 2, 2);
}

TEST_F(Win32WindowScaling, ControlsKeepTheirProportionsAndTextIsDrawnAtTheScaledSize) {
  const HFONT stock = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  // The stock font's letters at 96 dpi: the size every control's text scales from.
  LOGFONTA stock_font{};
  ASSERT_NE(GetObjectA(stock, sizeof(stock_font), &stock_font), 0);
  for (const ControlDescription& control : main_window.controls) {
    SCOPED_TRACE(control.name);
    const HWND handle = control_handle(control.control);
    ASSERT_NE(handle, nullptr);
    const RECT rect = rect_in_parent(handle);
    EXPECT_EQ(rect.left, scaled(control.left));
    EXPECT_EQ(rect.top, scaled(control.top));
    EXPECT_EQ(rect.right - rect.left, scaled(control.width));
    EXPECT_EQ(rect.bottom - rect.top, scaled(control.height));

    const auto font = reinterpret_cast<HFONT>(SendMessageA(handle, WM_GETFONT, 0, 0));
    ASSERT_NE(font, nullptr);
    if (expected_dpi() == 96) {
      EXPECT_EQ(font, stock) << "at 96 dpi the controls keep DEFAULT_GUI_FONT";
      continue;
    }
    LOGFONTA used{};
    ASSERT_NE(GetObjectA(font, sizeof(used), &used), 0);
    EXPECT_STREQ(used.lfFaceName, stock_font.lfFaceName);
    // A font made for this size, not a small one drawn larger: its letters
    // are as tall as the 96-dpi letters times the scale.
    LOGFONTA at_96 = stock_font;
    at_96.lfHeight = MulDiv(stock_font.lfHeight, 96, expected_dpi());
    const HFONT small = CreateFontIndirectA(&at_96);
    EXPECT_NEAR(text_height(font), scaled(text_height(small)), 1);
    DeleteObject(small);
  }
}

// A move to a monitor of another scaling: the system suggests the new outer
// rectangle with WM_DPICHANGED, and the controls and font follow.
TEST_F(Win32WindowScaling, WmDpiChangedLaysTheWindowOutAgain) {
  constexpr int new_dpi = 192;
  const HWND window = main_window_handle();
  const HFONT before =
      reinterpret_cast<HFONT>(SendMessageA(control_handle(Control::按钮1), WM_GETFONT, 0, 0));
  const int height_before = text_height(before);
  RECT suggested{40, 30, 40 + MulDiv(main_window.width, new_dpi, 96),
                 30 + MulDiv(main_window.height, new_dpi, 96)};
  SendMessageA(window, WM_DPICHANGED, MAKEWPARAM(new_dpi, new_dpi),
               reinterpret_cast<LPARAM>(&suggested));
  RECT rect{};
  ASSERT_TRUE(GetWindowRect(window, &rect));
  EXPECT_EQ(rect.left, 40);
  EXPECT_EQ(rect.top, 30);
  EXPECT_EQ(rect.right - rect.left, 736);
  EXPECT_EQ(rect.bottom - rect.top, 658);
  for (const ControlDescription& control : main_window.controls) {
    SCOPED_TRACE(control.name);
    const RECT placed = rect_in_parent(control_handle(control.control));
    EXPECT_EQ(placed.left, MulDiv(control.left, new_dpi, 96));
    EXPECT_EQ(placed.top, MulDiv(control.top, new_dpi, 96));
    EXPECT_EQ(placed.right - placed.left, MulDiv(control.width, new_dpi, 96));
    EXPECT_EQ(placed.bottom - placed.top, MulDiv(control.height, new_dpi, 96));
    const auto font =
        reinterpret_cast<HFONT>(SendMessageA(control_handle(control.control), WM_GETFONT, 0, 0));
    EXPECT_NEAR(text_height(font), MulDiv(height_before, new_dpi, expected_dpi()), 1);
  }
}

// Not a check but a picture for people: the window at this run's scaling.
TEST_F(Win32WindowScaling, SavesAScreenshot) {
  if (expected_dpi() == 96) GTEST_SKIP() << "the 96-dpi picture comes from window_program_test";
  SetWindowTextA(control_handle(Control::编辑框2),
                 "http://127.0.0.1:8470/urls?site=www.example.com&token=lorvane-demo");
  SetWindowTextA(
      control_handle(Control::编辑框1),
      "http://www.example.com/articles/1.html\r\nhttp://www.example.com/articles/2.html");
  // "提交成功：2 剩余额度：4999998"
  platform::set_caption(Control::标签2,
                        "\xCC\xE1\xBD\xBB\xB3\xC9\xB9\xA6\xA3\xBA"
                        "2 \xCA\xA3\xD3\xE0\xB6\xEE\xB6\xC8\xA3\xBA"
                        "4999998");
  bool saved = false;
  const std::string path =
      LORVANE_SCREENSHOT_DIR "/lorvane-win32-" + std::to_string(expected_dpi()) + "dpi.png";
  testing::Script script({[] {
                            RedrawWindow(main_window_handle(), nullptr, nullptr,
                                         RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_FRAME);
                          },
                          [] {},
                          [&] { saved = testing::save_screenshot(main_window_handle(), path); },
                          [] { testing::press_key(VK_ESCAPE); }});
  platform::run_message_loop(nullptr);
  EXPECT_TRUE(saved) << "no screenshot at " << path;
}

}  // namespace
}  // namespace lorvane
