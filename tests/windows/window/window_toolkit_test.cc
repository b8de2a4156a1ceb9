// The Win32 window as the user meets it, through the toolkit interface and the
// real controls under Wine: every setting that can be read back, the texts in
// code page 936, and the keyboard rules with real input.
#include <windows.h>
// After windows.h, whose types it uses.
#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/window_description.h"
#include "platform/toolkit.h"
#include "platform/win32/control_ids.h"
#include "platform/win32/resource_ids.h"
#include "tests/windows/window/window_driver.h"

namespace lorvane {
namespace {

using testing::click_control;
using testing::control_handle;
using testing::focused_control;
using testing::main_window_handle;
using testing::press_key;
using testing::Script;
using testing::type_text;
using testing::window_text;

HFONT default_gui_font() { return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)); }

RECT rect_in_parent(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  MapWindowPoints(nullptr, GetParent(window), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

int clicks = 0;
void count_click() { ++clicks; }

// Opens the window the way start-up does: created hidden, controls shown, then
// the window shown; closed again after each test.
class Win32Window : public ::testing::Test {
 protected:
  void SetUp() override {
    clicks = 0;
    platform::toolkit_initialize();
    open(centred_on_screen());
  }

  void TearDown() override {
    if (const HWND window = main_window_handle()) DestroyWindow(window);
    testing::drain_quit_message();
  }

  static WindowPosition centred_on_screen() {
    const platform::ScreenSize screen = platform::screen_size();
    return centred_position(screen.width, screen.height);
  }

  static void open(WindowPosition position) {
    platform::create_main_window(main_window, position);
    platform::show_controls();
    platform::show_main_window();
    ASSERT_NE(main_window_handle(), nullptr);
  }

  // Runs the message loop with `steps`, then expects the loop to have ended
  // because the window was closed.
  static void run(std::vector<std::function<void()>> steps) {
    const std::size_t count = steps.size();
    Script script(std::move(steps));
    platform::run_message_loop(&count_click);
    EXPECT_EQ(script.steps_run(), count);
    EXPECT_EQ(main_window_handle(), nullptr) << "the loop ended with the window still there";
  }
};

TEST_F(Win32Window, MainWindowHasFixedBorderMinimiseBoxAndNoOwner) {
  const HWND window = main_window_handle();
  const LONG_PTR style = GetWindowLongPtrA(window, GWL_STYLE);
  EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_FALSE(style & WS_THICKFRAME) << "the user must not be able to resize the window";
  EXPECT_FALSE(style & (WS_CHILD | WS_POPUP));
  const LONG_PTR extended = GetWindowLongPtrA(window, GWL_EXSTYLE);
  EXPECT_FALSE(extended & WS_EX_TOPMOST);
  EXPECT_FALSE(extended & WS_EX_TOOLWINDOW) << "a tool window has no taskbar button";
  EXPECT_EQ(GetWindow(window, GW_OWNER), nullptr);
  EXPECT_EQ(window_text(window), "Lorvane");
  EXPECT_TRUE(IsWindowVisible(window));
  // Movable: the system menu keeps its Move entry.
  EXPECT_NE(GetMenuState(GetSystemMenu(window, FALSE), SC_MOVE, MF_BYCOMMAND), UINT(-1));
}

TEST_F(Win32Window, MainWindowPaintsButtonFaceAndShowsTheProgramIcon) {
  const HWND window = main_window_handle();
  const auto background = reinterpret_cast<HBRUSH>(GetClassLongPtrA(window, GCLP_HBRBACKGROUND));
  LOGBRUSH brush{};
  ASSERT_NE(GetObjectA(background, sizeof(brush), &brush), 0) << "no background brush";
  EXPECT_EQ(brush.lbColor, GetSysColor(COLOR_BTNFACE));

  const int size = GetSystemMetrics(SM_CXICON);
  const HANDLE program_icon =
      LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(LORVANE_ICON_ID), IMAGE_ICON, size,
                 size, LR_DEFAULTCOLOR | LR_SHARED);
  ASSERT_NE(program_icon, nullptr) << "the test links the program's resources";
  EXPECT_EQ(reinterpret_cast<HANDLE>(GetClassLongPtrA(window, GCLP_HICON)), program_icon);
}

TEST_F(Win32Window, CommonControlsVersion6AreInUse) {
  // BCM_GETIDEALSIZE exists only in the buttons of common controls 6.
  SIZE ideal{};
  EXPECT_TRUE(SendMessageA(control_handle(Control::按钮1), BCM_GETIDEALSIZE, 0,
                           reinterpret_cast<LPARAM>(&ideal)));
  EXPECT_GT(ideal.cx, 0);
}

TEST_F(Win32Window, OuterSizeIsFixedAndCentredOnTheScreen) {
  const WindowPosition expected = centred_on_screen();
  RECT rect{};
  ASSERT_TRUE(GetWindowRect(main_window_handle(), &rect));
  EXPECT_EQ(rect.left, expected.left);
  EXPECT_EQ(rect.top, expected.top);
  EXPECT_EQ(rect.right - rect.left, 368);
  EXPECT_EQ(rect.bottom - rect.top, 329);
}

// The toolkit puts the window exactly where start-up asks, off-screen included.
TEST_F(Win32Window, WindowGoesWhereStartUpPlacesIt) {
  const WindowPosition positions[] = {
      centred_position(300, 200), centred_position(1365, 767), {0, 0}};
  for (const WindowPosition position : positions) {
    SCOPED_TRACE(::testing::Message() << position.left << "," << position.top);
    DestroyWindow(main_window_handle());
    testing::drain_quit_message();
    open(position);
    RECT rect{};
    ASSERT_TRUE(GetWindowRect(main_window_handle(), &rect));
    EXPECT_EQ(rect.left, position.left);
    EXPECT_EQ(rect.top, position.top);
    EXPECT_EQ(rect.right - rect.left, 368);
    EXPECT_EQ(rect.bottom - rect.top, 329);
  }
  EXPECT_EQ(centred_position(300, 200).left, -34) << "a smaller screen puts the edge off-screen";
}

TEST_F(Win32Window, EverythingIsHiddenUntilShown) {
  DestroyWindow(main_window_handle());
  testing::drain_quit_message();
  platform::create_main_window(main_window, centred_on_screen());
  const HWND window = main_window_handle();
  ASSERT_NE(window, nullptr);
  const auto has_visible_style = [](HWND handle) {
    return (GetWindowLongPtrA(handle, GWL_STYLE) & WS_VISIBLE) != 0;
  };
  EXPECT_FALSE(has_visible_style(window));
  for (const ControlDescription& control : main_window.controls) {
    EXPECT_FALSE(has_visible_style(control_handle(control.control))) << control.name;
  }
  platform::show_controls();
  EXPECT_FALSE(IsWindowVisible(window)) << "showing the controls must not show the window";
  for (const ControlDescription& control : main_window.controls) {
    EXPECT_TRUE(has_visible_style(control_handle(control.control))) << control.name;
  }
  platform::show_main_window();
  EXPECT_TRUE(IsWindowVisible(window));
  EXPECT_EQ(GetForegroundWindow(), window) << "a normal show activates the window";
}

struct ControlCase {
  Control control;
  const char* window_class;
  DWORD type_mask;  // with type_value: the control's kind inside its class
  DWORD type_value;
  DWORD required_style;
  DWORD forbidden_style;
  DWORD required_extended_style;
};

constexpr DWORD label_forbidden = WS_BORDER | SS_SUNKEN | WS_TABSTOP;
constexpr DWORD edit_forbidden = ES_READONLY | ES_PASSWORD | ES_UPPERCASE | ES_LOWERCASE |
                                 ES_NUMBER | ES_NOHIDESEL | WS_VSCROLL | WS_HSCROLL | ES_CENTER |
                                 ES_RIGHT;

const ControlCase control_cases[] = {
    {Control::标签2, "Static", SS_TYPEMASK, SS_LEFTNOWORDWRAP, SS_CENTERIMAGE | SS_NOPREFIX,
     label_forbidden, 0},
    {Control::标签1, "Static", SS_TYPEMASK, SS_LEFTNOWORDWRAP, SS_CENTERIMAGE | SS_NOPREFIX,
     label_forbidden, 0},
    {Control::编辑框2, "Edit", 0, 0, ES_AUTOHSCROLL | WS_TABSTOP, edit_forbidden | ES_MULTILINE,
     WS_EX_CLIENTEDGE},
    {Control::分组框1, "Button", BS_TYPEMASK, BS_GROUPBOX, 0, WS_TABSTOP, 0},
    {Control::编辑框1, "Edit", 0, 0, ES_MULTILINE | ES_WANTRETURN | ES_AUTOVSCROLL | WS_TABSTOP,
     edit_forbidden | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE},
    {Control::按钮1, "Button", BS_TYPEMASK, BS_PUSHBUTTON, WS_TABSTOP, BS_BITMAP | BS_ICON, 0},
};

TEST_F(Win32Window, ControlsHaveTheirKindPlaceTextAndFont) {
  for (const ControlCase& row : control_cases) {
    const ControlDescription& description = describe(row.control);
    SCOPED_TRACE(description.name);
    const HWND control = control_handle(row.control);
    ASSERT_NE(control, nullptr);

    char window_class[32] = {};
    GetClassNameA(control, window_class, sizeof(window_class));
    EXPECT_STRCASEEQ(window_class, row.window_class);
    const HWND expected_parent =
        description.parent.has_value() ? control_handle(*description.parent) : main_window_handle();
    EXPECT_EQ(GetParent(control), expected_parent);

    const DWORD style = static_cast<DWORD>(GetWindowLongPtrA(control, GWL_STYLE));
    const DWORD extended = static_cast<DWORD>(GetWindowLongPtrA(control, GWL_EXSTYLE));
    EXPECT_EQ(style & row.type_mask, row.type_value);
    EXPECT_EQ(style & row.required_style, row.required_style);
    EXPECT_EQ(style & row.forbidden_style, 0u);
    EXPECT_EQ(extended & row.required_extended_style, row.required_extended_style);

    const RECT rect = rect_in_parent(control);
    EXPECT_EQ(rect.left, description.left);
    EXPECT_EQ(rect.top, description.top);
    EXPECT_EQ(rect.right - rect.left, description.width);
    EXPECT_EQ(rect.bottom - rect.top, description.height);

    EXPECT_EQ(window_text(control), description.initial_text);
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0)), default_gui_font());
    EXPECT_TRUE(IsWindowVisible(control));
    EXPECT_TRUE(IsWindowEnabled(control));
  }
  // 编辑框2 sits at 16, 30 in the window, inside the group box.
  RECT edit{};
  GetWindowRect(control_handle(Control::编辑框2), &edit);
  MapWindowPoints(nullptr, main_window_handle(), reinterpret_cast<POINT*>(&edit), 2);
  EXPECT_EQ(edit.left, 16);
  EXPECT_EQ(edit.top, 30);
}

// The colours come from the parent's answer to WM_CTLCOLORSTATIC and
// WM_CTLCOLOREDIT; 编辑框2 asks the group box, its parent.
TEST_F(Win32Window, ParentsAnswerWithTheControlsColours) {
  struct Case {
    Control control;
    UINT message;
    COLORREF text;
    COLORREF background;
  };
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  const Case cases[] = {
      {Control::标签2, WM_CTLCOLORSTATIC, RGB(255, 0, 0), face},
      {Control::标签1, WM_CTLCOLORSTATIC, RGB(0, 0, 0), face},
      {Control::分组框1, WM_CTLCOLORSTATIC, RGB(0, 0, 0), face},
      {Control::编辑框1, WM_CTLCOLOREDIT, RGB(0, 0, 0), RGB(255, 255, 255)},
      {Control::编辑框2, WM_CTLCOLOREDIT, RGB(0, 0, 0), RGB(255, 255, 255)},
  };
  const HDC device = CreateCompatibleDC(nullptr);
  ASSERT_NE(device, nullptr);
  for (const Case& row : cases) {
    SCOPED_TRACE(describe(row.control).name);
    const HWND control = control_handle(row.control);
    // Colours no answer would leave behind.
    SetTextColor(device, RGB(1, 2, 3));
    SetBkColor(device, RGB(4, 5, 6));
    const auto brush = reinterpret_cast<HBRUSH>(SendMessageA(GetParent(control), row.message,
                                                             reinterpret_cast<WPARAM>(device),
                                                             reinterpret_cast<LPARAM>(control)));
    EXPECT_EQ(GetTextColor(device), row.text);
    EXPECT_EQ(GetBkColor(device), row.background);
    LOGBRUSH fill{};
    ASSERT_NE(GetObjectA(brush, sizeof(fill), &fill), 0) << "no brush returned";
    EXPECT_EQ(fill.lbColor, row.background);
  }
  DeleteDC(device);
}

TEST_F(Win32Window, ControlTextGivesTheBytesTheBoxHolds) {
  struct Case {
    Control control;
    const char* text;
  };
  const Case cases[] = {
      {Control::编辑框1, ""},
      {Control::编辑框1, "a\r\nb"},
      {Control::编辑框1, "http://a.example/1\r\n\r\nhttp://a.example/2\r\n"},
      // Two-byte characters whose second byte is ASCII: "丂" "癮"
      {Control::编辑框1, "\x81\x40\xB0\x61"},
      // "接口调用地址" and a URL
      {Control::编辑框2, "\xBD\xD3\xBF\xDA http://127.0.0.1:8080/urls?site=a&token=b"},
      {Control::编辑框2, ""},
  };
  for (const Case& row : cases) {
    SCOPED_TRACE(row.text);
    ASSERT_TRUE(SetWindowTextA(control_handle(row.control), row.text));
    EXPECT_EQ(platform::control_text(row.control), Text(row.text));
  }
  // Longer than any fixed buffer would hold.
  const std::string long_text(5000, 'x');
  SetWindowTextA(control_handle(Control::编辑框1), long_text.c_str());
  EXPECT_EQ(platform::control_text(Control::编辑框1).view(), long_text);
}

TEST_F(Win32Window, SetCaptionShowsTheNewCaptionAtOnce) {
  // "提交成功：2 剩余额度：4999998", then a caption with "&", shown as it is.
  const Text captions[] = {
      "\xCC\xE1\xBD\xBB\xB3\xC9\xB9\xA6\xA3\xBA"
      "2 \xCA\xA3\xD3\xE0\xB6\xEE\xB6\xC8\xA3\xBA"
      "4999998",
      "a&b", ""};
  const HWND label = control_handle(Control::标签2);
  UpdateWindow(main_window_handle());
  for (const Text& caption : captions) {
    SCOPED_TRACE(caption.c_str());
    platform::set_caption(Control::标签2, caption);
    EXPECT_EQ(window_text(label), caption.view());
    EXPECT_FALSE(GetUpdateRect(label, nullptr, FALSE))
        << "the label is still waiting to be painted";
  }
}

struct FocusCase {
  const char* name;
  std::function<void()> prepare;
  Control start;
  bool shift;
  std::vector<Control> expected;  // the focus after each press of Tab
};

TEST_F(Win32Window, TabRunsThroughTheFocusCycleSkippingHiddenAndDisabledControls) {
  const auto disable = [](Control control) {
    return [control] { EnableWindow(control_handle(control), FALSE); };
  };
  const FocusCase cases[] = {
      {"forward",
       [] {},
       Control::编辑框2,
       false,
       {Control::按钮1, Control::编辑框1, Control::编辑框2}},
      {"backward",
       [] {},
       Control::编辑框2,
       true,
       {Control::编辑框1, Control::按钮1, Control::编辑框2}},
      {"forward over a disabled button",
       disable(Control::按钮1),
       Control::编辑框2,
       false,
       {Control::编辑框1, Control::编辑框2}},
      {"backward over a disabled button",
       disable(Control::按钮1),
       Control::编辑框1,
       true,
       {Control::编辑框2, Control::编辑框1}},
      {"forward over a hidden box",
       [] { ShowWindow(control_handle(Control::编辑框1), SW_HIDE); },
       Control::按钮1,
       false,
       {Control::编辑框2, Control::按钮1}},
      {"forward over a box in a hidden group box",
       [] { ShowWindow(control_handle(Control::分组框1), SW_HIDE); },
       Control::编辑框1,
       false,
       {Control::按钮1, Control::编辑框1}},
  };
  for (const FocusCase& row : cases) {
    SCOPED_TRACE(row.name);
    DestroyWindow(main_window_handle());
    testing::drain_quit_message();
    open(centred_on_screen());
    std::vector<Control> seen;
    std::vector<std::function<void()>> steps = {row.prepare,
                                                [&] { SetFocus(control_handle(row.start)); }};
    for (std::size_t press = 0; press < row.expected.size(); ++press) {
      steps.push_back([&] { press_key(VK_TAB, row.shift); });
      steps.push_back([&] {
        const ControlDescription* focus = focused_control();
        ASSERT_NE(focus, nullptr) << "the focus left the controls";
        seen.push_back(focus->control);
      });
    }
    steps.push_back([] { press_key(VK_ESCAPE); });
    run(std::move(steps));
    EXPECT_EQ(seen, row.expected);
  }
  EXPECT_EQ(clicks, 0);
}

TEST_F(Win32Window, TabInTheMultiLineBoxMovesOnWithoutTypingATab) {
  Text text;
  run({[] { SetFocus(control_handle(Control::编辑框1)); }, [] { type_text("x"); },
       [] { press_key(VK_TAB); },
       [&] {
         text = platform::control_text(Control::编辑框1);
         const ControlDescription* focus = focused_control();
         ASSERT_NE(focus, nullptr);
         EXPECT_EQ(focus->control, Control::编辑框2);
       },
       [] { press_key(VK_ESCAPE); }});
  EXPECT_EQ(text, Text("x"));
}

TEST_F(Win32Window, EscClosesTheWindowFromEveryControl) {
  for (const Control control : {Control::编辑框2, Control::编辑框1, Control::按钮1}) {
    SCOPED_TRACE(describe(control).name);
    DestroyWindow(main_window_handle());
    testing::drain_quit_message();
    open(centred_on_screen());
    // Typing first: Esc must close the window even in the middle of input.
    run({[control] { SetFocus(control_handle(control)); }, [] { type_text("ab"); },
         [] { press_key(VK_ESCAPE); }});
  }
  EXPECT_EQ(clicks, 0);
}

TEST_F(Win32Window, EnterStartsANewLineInTheMultiLineBoxOnly) {
  Text multi_line;
  Text single_line;
  const ControlDescription* focus_after_enter = nullptr;
  run({[] { SetFocus(control_handle(Control::编辑框1)); }, [] { type_text("a"); },
       [] { press_key(VK_RETURN); }, [] { type_text("b"); },
       [&] { multi_line = platform::control_text(Control::编辑框1); },
       [] { SetFocus(control_handle(Control::编辑框2)); }, [] { type_text("c"); },
       [] { press_key(VK_RETURN); }, [] { type_text("d"); },
       [&] { single_line = platform::control_text(Control::编辑框2); },
       [] { SetFocus(control_handle(Control::按钮1)); }, [] { press_key(VK_RETURN); },
       [&] { focus_after_enter = focused_control(); }, [] { press_key(VK_ESCAPE); }});
  EXPECT_EQ(multi_line, Text("a\r\nb"));
  EXPECT_EQ(single_line, Text("cd"));
  ASSERT_NE(focus_after_enter, nullptr);
  EXPECT_EQ(focus_after_enter->control, Control::按钮1);
  EXPECT_EQ(clicks, 0) << "Enter pressed the button";
}

// The same button that Enter leaves alone does click by mouse and by Space.
TEST_F(Win32Window, MouseAndSpaceClickTheButtonOnceEach) {
  int clicks_after_mouse = -1;
  run({[] { SetFocus(control_handle(Control::编辑框2)); }, [] { click_control(Control::按钮1); },
       [&] { clicks_after_mouse = clicks; }, [] { press_key(VK_SPACE); },
       [] { press_key(VK_ESCAPE); }});
  EXPECT_EQ(clicks_after_mouse, 1);
  EXPECT_EQ(clicks, 2);
}

// Refuses the main window's creation, as a system out of resources would, and
// dismisses whatever message box appears.
LRESULT CALLBACK refuse_main_window(int code, WPARAM w_param, LPARAM l_param) {
  char window_class[32] = {};
  if (code == HCBT_CREATEWND) {
    const char* name = reinterpret_cast<CBT_CREATEWNDA*>(l_param)->lpcs->lpszClass;
    if (HIWORD(reinterpret_cast<ULONG_PTR>(name)) != 0 &&
        std::string(name) == platform::win32::main_window_class) {
      return 1;
    }
  } else if (code == HCBT_ACTIVATE) {
    const auto window = reinterpret_cast<HWND>(w_param);
    GetClassNameA(window, window_class, sizeof(window_class));
    if (std::string(window_class) == "#32770") PostMessageA(window, WM_COMMAND, IDOK, 0);
  }
  return CallNextHookEx(nullptr, code, w_param, l_param);
}

TEST(Win32WindowFailure, NoMainWindowEndsTheProgramWithAReport) {
  EXPECT_EXIT(
      {
        SetWindowsHookExA(WH_CBT, &refuse_main_window, nullptr, GetCurrentThreadId());
        platform::toolkit_initialize();
        platform::create_main_window(main_window, {0, 0});
        // Reached only when the failure went unreported.
        std::exit(0);
      },
      ::testing::ExitedWithCode(1), "main window could not be created");
}

}  // namespace
}  // namespace lorvane
