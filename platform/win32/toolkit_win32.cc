// The window toolkit on raw Win32 controls and common controls version 6.
//
// Positions, sizes and the font are scaled from the 96-dpi values of the
// description to the dots per inch of the window's monitor (the manifest
// declares per-monitor awareness, version 2), and laid out again when the
// window moves to a monitor of another scaling (WM_DPICHANGED).
//
// The program has one main window. Its window procedure finds the MainWindow
// object through GWLP_USERDATA, set at WM_NCCREATE. The keyboard rules run in
// the message loop, before a key reaches the focused control, so that Tab, Esc
// and Enter behave the same whichever control has the focus.
#include <windows.h>
// After windows.h, whose types it uses.
#include <commctrl.h>

#include <array>
#include <cstddef>
#include <cstdio>
#include <string>

#include "platform/toolkit.h"
#include "platform/win32/control_ids.h"
#include "platform/win32/resource_ids.h"

namespace lorvane::platform {
namespace {

constexpr std::size_t control_count = std::tuple_size_v<decltype(WindowDescription::controls)>;

COLORREF to_colorref(Colour colour) { return RGB(colour.red, colour.green, colour.blue); }

HFONT default_gui_font() { return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)); }

constexpr int base_dpi = 96;

// The dots per inch of the primary monitor when the session began: the scale
// of GetSystemMetrics and of the stock fonts.
int system_dpi() {
  const HDC screen = GetDC(nullptr);
  const int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSX) : 0;
  if (screen != nullptr) ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : base_dpi;
}

// The dots per inch of the window's monitor; GetDpiForWindow exists from
// Windows 10 (1607) on, so it is looked up, and older systems have one scale.
int window_dpi(HWND window) {
  using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
  static const auto get_dpi_for_window =
      reinterpret_cast<GetDpiForWindowFunction>(reinterpret_cast<void (*)()>(
          GetProcAddress(GetModuleHandleA("user32.dll"), "GetDpiForWindow")));
  if (get_dpi_for_window != nullptr && window != nullptr) {
    const UINT dpi = get_dpi_for_window(window);
    if (dpi > 0) return static_cast<int>(dpi);
  }
  return system_dpi();
}

// A 96-dpi length at `dpi`, rounded to the nearest pixel.
int scaled(int length, int dpi) { return MulDiv(length, dpi, base_dpi); }

// DEFAULT_GUI_FONT at `dpi`: the stock font itself at the session's scale,
// otherwise a font of the same face whose height is scaled to match. A new
// font belongs to the caller (see release_font).
HFONT gui_font_for(int dpi) {
  const int session_dpi = system_dpi();
  if (dpi == session_dpi) return default_gui_font();
  LOGFONTA font{};
  if (GetObjectA(default_gui_font(), sizeof(font), &font) == 0) return default_gui_font();
  font.lfHeight = MulDiv(font.lfHeight, dpi, session_dpi);
  font.lfWidth = MulDiv(font.lfWidth, dpi, session_dpi);
  const HFONT made = CreateFontIndirectA(&font);
  return made != nullptr ? made : default_gui_font();
}

void release_font(HFONT font) {
  if (font != nullptr && font != default_gui_font()) DeleteObject(font);
}

struct ControlClass {
  const char* window_class;
  DWORD style;
  DWORD extended_style;
};

// Every control is created without WS_VISIBLE; show_controls makes them visible.
ControlClass control_class(ControlKind kind) {
  switch (kind) {
    case ControlKind::label:
      // One line, cut off at the right edge, vertically centred; "&" is shown
      // as it is, since captions carry whatever an interface replied.
      return {"STATIC", WS_CHILD | SS_LEFTNOWORDWRAP | SS_CENTERIMAGE | SS_NOPREFIX, 0};
    case ControlKind::single_line_edit:
      return {"EDIT", WS_CHILD | WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE};
    case ControlKind::multi_line_edit:
      // Wraps at the right edge (no ES_AUTOHSCROLL) and has no scroll bars.
      return {"EDIT",
              WS_CHILD | WS_TABSTOP | ES_LEFT | ES_MULTILINE | ES_WANTRETURN | ES_AUTOVSCROLL,
              WS_EX_CLIENTEDGE};
    case ControlKind::group_box:
      return {"BUTTON", WS_CHILD | BS_GROUPBOX, 0};
    case ControlKind::push_button:
      return {"BUTTON", WS_CHILD | WS_TABSTOP | BS_PUSHBUTTON, 0};
  }
  return {"STATIC", WS_CHILD, 0};
}

// A control's notifications and colour requests go to its parent. The group
// box's own window procedure would answer them itself, so a group box hands
// them on to the main window, which decides for every control.
LRESULT CALLBACK forward_to_parent(HWND window, UINT message, WPARAM w_param, LPARAM l_param,
                                   UINT_PTR subclass_id, DWORD_PTR /*reference_data*/) {
  switch (message) {
    case WM_COMMAND:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
      return SendMessageA(GetParent(window), message, w_param, l_param);
    case WM_NCDESTROY:
      RemoveWindowSubclass(window, &forward_to_parent, subclass_id);
      break;
    default:
      break;
  }
  return DefSubclassProc(window, message, w_param, l_param);
}

HICON program_icon(HINSTANCE instance, int size_metric) {
  const int size = GetSystemMetrics(size_metric);
  auto* icon = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(LORVANE_ICON_ID),
                                             IMAGE_ICON, size, size, LR_DEFAULTCOLOR | LR_SHARED));
  // An executable without our resources (a test) shows the system's default.
  return icon != nullptr ? icon : LoadIconA(nullptr, MAKEINTRESOURCEA(32512) /* IDI_APPLICATION */);
}

class MainWindow {
 public:
  bool create(const WindowDescription& description, WindowPosition position);
  void show_controls();
  void show();
  void run_message_loop(void (*on_click)());
  HWND handle(Control control) const { return controls_[static_cast<std::size_t>(control)]; }

 private:
  static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM w_param, LPARAM l_param);
  static bool register_class(HINSTANCE instance);

  LRESULT handle_message(UINT message, WPARAM w_param, LPARAM l_param);
  HWND create_control(Control control, HINSTANCE instance);
  bool owns(HWND window) const;
  bool take_key(const MSG& message);
  void move_focus(int step);
  const ControlDescription* find(HWND control) const;
  LRESULT colour(HDC device, HWND control, bool edit_box);
  void on_activate(WPARAM w_param);
  void on_command(WPARAM w_param, LPARAM l_param);
  // Scales the window and its controls to `dpi`: the outer rectangle to
  // `outer` when given (the system's suggestion), else the scaled size at the
  // present position.
  void apply_dpi(int dpi, const RECT* outer);
  void place_control(Control control);

  const WindowDescription* description_ = nullptr;
  HWND window_ = nullptr;
  std::array<HWND, control_count> controls_{};
  HWND last_focus_ = nullptr;
  void (*on_click_)() = nullptr;
  int dpi_ = base_dpi;
  HFONT font_ = nullptr;  // the controls' font at dpi_
};

MainWindow& the_window() {
  static MainWindow window;
  return window;
}

bool MainWindow::register_class(HINSTANCE instance) {
  WNDCLASSEXA window_class{};
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = &MainWindow::procedure;
  window_class.hInstance = instance;
  window_class.hIcon = program_icon(instance, SM_CXICON);
  window_class.hIconSm = program_icon(instance, SM_CXSMICON);
  window_class.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512) /* IDC_ARROW */);
  window_class.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  window_class.lpszClassName = win32::main_window_class;
  if (RegisterClassExA(&window_class) != 0) return true;
  // A second window in the same process (the tests) finds the class registered.
  return GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

bool MainWindow::create(const WindowDescription& description, WindowPosition position) {
  const HINSTANCE instance = GetModuleHandleA(nullptr);
  if (!register_class(instance)) return false;
  description_ = &description;
  controls_ = {};
  last_focus_ = nullptr;
  // Created at the session's scale; should its monitor have another, the
  // window is scaled again below, before anyone sees it.
  dpi_ = system_dpi();
  release_font(font_);
  font_ = gui_font_for(dpi_);
  // Fixed single border, title bar, system menu and minimise box; no owner,
  // so the window has its own taskbar button.
  const HWND window = CreateWindowExA(
      WS_EX_APPWINDOW, win32::main_window_class, description.title,
      WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, scaled(position.left, dpi_),
      scaled(position.top, dpi_), scaled(description.width, dpi_), scaled(description.height, dpi_),
      nullptr, nullptr, instance, this);
  if (window == nullptr) return false;
  for (const ControlDescription& control : description.controls) {
    if (create_control(control.control, instance) == nullptr) {
      DestroyWindow(window);
      return false;
    }
  }
  const int monitor_dpi = window_dpi(window);
  if (monitor_dpi != dpi_) apply_dpi(monitor_dpi, nullptr);
  return true;
}

void MainWindow::place_control(Control control) {
  const ControlDescription& description = description_->controls[static_cast<std::size_t>(control)];
  SetWindowPos(handle(control), nullptr, scaled(description.left, dpi_),
               scaled(description.top, dpi_), scaled(description.width, dpi_),
               scaled(description.height, dpi_), SWP_NOZORDER | SWP_NOACTIVATE);
}

void MainWindow::apply_dpi(int dpi, const RECT* outer) {
  if (window_ == nullptr || dpi <= 0) return;
  dpi_ = dpi;
  if (outer != nullptr) {
    SetWindowPos(window_, nullptr, outer->left, outer->top, outer->right - outer->left,
                 outer->bottom - outer->top, SWP_NOZORDER | SWP_NOACTIVATE);
  } else {
    SetWindowPos(window_, nullptr, 0, 0, scaled(description_->width, dpi_),
                 scaled(description_->height, dpi_), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  const HFONT previous = font_;
  font_ = gui_font_for(dpi_);
  for (const ControlDescription& control : description_->controls) {
    place_control(control.control);
    SendMessageA(handle(control.control), WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
  }
  release_font(previous);
}

HWND MainWindow::create_control(Control control, HINSTANCE instance) {
  HWND& slot = controls_[static_cast<std::size_t>(control)];
  if (slot != nullptr) return slot;
  const ControlDescription& description = description_->controls[static_cast<std::size_t>(control)];
  HWND parent = window_;
  if (description.parent.has_value()) parent = create_control(*description.parent, instance);
  if (parent == nullptr) return nullptr;

  const ControlClass kind = control_class(description.kind);
  slot = CreateWindowExA(kind.extended_style, kind.window_class, description.initial_text,
                         kind.style, scaled(description.left, dpi_), scaled(description.top, dpi_),
                         scaled(description.width, dpi_), scaled(description.height, dpi_), parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(win32::control_id(control))),
                         instance, nullptr);
  if (slot == nullptr) return nullptr;
  SendMessageA(slot, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  if (description.kind == ControlKind::group_box &&
      !SetWindowSubclass(slot, &forward_to_parent, 0, 0)) {
    return nullptr;
  }
  return slot;
}

void MainWindow::show_controls() {
  for (HWND control : controls_) {
    if (control != nullptr) ShowWindow(control, SW_SHOW);
  }
}

void MainWindow::show() {
  if (window_ == nullptr) return;
  ShowWindow(window_, SW_SHOWNORMAL);
  UpdateWindow(window_);
}

void MainWindow::run_message_loop(void (*on_click)()) {
  on_click_ = on_click;
  MSG message;
  // GetMessage gives 0 for WM_QUIT (posted at WM_DESTROY) and -1 on failure.
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    if (take_key(message)) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  on_click_ = nullptr;
}

bool MainWindow::owns(HWND window) const {
  return window_ != nullptr && (window == window_ || IsChild(window_, window));
}

// Keys for the window as a whole, taken before TranslateMessage so that no
// WM_CHAR follows a key that was used here.
bool MainWindow::take_key(const MSG& message) {
  if (message.message != WM_KEYDOWN || !owns(message.hwnd)) return false;
  switch (message.wParam) {
    case VK_TAB:
      move_focus(GetKeyState(VK_SHIFT) < 0 ? -1 : 1);
      return true;
    case VK_ESCAPE:
      SendMessageA(window_, WM_CLOSE, 0, 0);
      return true;
    case VK_RETURN:
      // Only the multi-line box takes Enter (a new line); anywhere else it
      // presses nothing and moves nothing.
      return message.hwnd != handle(Control::编辑框1);
    default:
      return false;
  }
}

void MainWindow::move_focus(int step) {
  const auto& cycle = description_->focus_cycle;
  const int count = static_cast<int>(cycle.size());
  int current = -1;
  const HWND focus = GetFocus();
  for (int index = 0; index < count; ++index) {
    if (handle(cycle[index]) == focus) current = index;
  }
  // From outside the cycle, Tab enters at its first control, Shift+Tab at its last.
  if (current < 0) current = step > 0 ? count - 1 : 0;
  for (int distance = 1; distance <= count; ++distance) {
    const int index = ((current + step * distance) % count + count) % count;
    const HWND candidate = handle(cycle[index]);
    if (IsWindowVisible(candidate) && IsWindowEnabled(candidate)) {
      SetFocus(candidate);
      return;
    }
  }
}

const ControlDescription* MainWindow::find(HWND control) const {
  for (std::size_t index = 0; index < control_count; ++index) {
    if (controls_[index] == control) return &description_->controls[index];
  }
  return nullptr;
}

LRESULT MainWindow::colour(HDC device, HWND control, bool edit_box) {
  const ControlDescription* description = find(control);
  if (description == nullptr)
    return DefWindowProcA(window_, edit_box ? WM_CTLCOLOREDIT : WM_CTLCOLORSTATIC,
                          reinterpret_cast<WPARAM>(device), reinterpret_cast<LPARAM>(control));
  SetTextColor(device, to_colorref(description->text_colour));
  if (edit_box) {
    SetBkColor(device, RGB(255, 255, 255));
    return reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH));
  }
  SetBkColor(device, GetSysColor(COLOR_BTNFACE));
  return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
}

// The focus goes back to where it was when the window is activated again; the
// first time, to the first control of the focus cycle.
void MainWindow::on_activate(WPARAM w_param) {
  if (LOWORD(w_param) == WA_INACTIVE) {
    const HWND focus = GetFocus();
    if (focus != nullptr && IsChild(window_, focus)) last_focus_ = focus;
    return;
  }
  HWND target = last_focus_;
  if (target == nullptr || !IsWindow(target)) target = handle(description_->focus_cycle.front());
  if (target != nullptr && IsWindowVisible(target) && IsWindowEnabled(target)) {
    SetFocus(target);
  } else {
    SetFocus(window_);
  }
}

void MainWindow::on_command(WPARAM w_param, LPARAM l_param) {
  const HWND button = handle(Control::按钮1);
  if (HIWORD(w_param) != BN_CLICKED || reinterpret_cast<HWND>(l_param) != button) return;
  if (on_click_ == nullptr) return;
  // The command runs to completion here and takes no input meanwhile; the busy
  // cursor says so until the next mouse move after it.
  const HCURSOR previous = SetCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(32514) /* IDC_WAIT */));
  on_click_();
  SetCursor(previous);
}

LRESULT MainWindow::handle_message(UINT message, WPARAM w_param, LPARAM l_param) {
  switch (message) {
    case WM_CTLCOLORSTATIC:
      return colour(reinterpret_cast<HDC>(w_param), reinterpret_cast<HWND>(l_param), false);
    case WM_CTLCOLOREDIT:
      return colour(reinterpret_cast<HDC>(w_param), reinterpret_cast<HWND>(l_param), true);
    case WM_COMMAND:
      on_command(w_param, l_param);
      return 0;
    case WM_ACTIVATE:
      on_activate(w_param);
      return 0;
    case WM_DPICHANGED:  // moved to a monitor of another scaling
      apply_dpi(HIWORD(w_param), reinterpret_cast<const RECT*>(l_param));
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    case WM_NCDESTROY: {
      const HWND window = window_;
      window_ = nullptr;
      controls_ = {};
      last_focus_ = nullptr;
      release_font(font_);
      font_ = nullptr;
      SetWindowLongPtrA(window, GWLP_USERDATA, 0);
      return DefWindowProcA(window, message, w_param, l_param);
    }
    default:
      return DefWindowProcA(window_, message, w_param, l_param);
  }
}

LRESULT CALLBACK MainWindow::procedure(HWND window, UINT message, WPARAM w_param, LPARAM l_param) {
  MainWindow* self = nullptr;
  if (message == WM_NCCREATE) {
    self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTA*>(l_param)->lpCreateParams);
    self->window_ = window;
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  } else {
    self = reinterpret_cast<MainWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  }
  if (self == nullptr) return DefWindowProcA(window, message, w_param, l_param);
  return self->handle_message(message, w_param, l_param);
}

[[noreturn]] void report_fatal_error(const char* what) {
  char text[256];
  std::snprintf(text, sizeof(text), "Lorvane: %s (error %lu).", what,
                static_cast<unsigned long>(GetLastError()));
  std::fprintf(stderr, "%s\n", text);
  std::fflush(stderr);
  MessageBoxA(nullptr, text, "Lorvane", MB_OK | MB_ICONERROR | MB_TASKMODAL);
  ExitProcess(1);
}

}  // namespace

void toolkit_initialize() {
  // With the manifest asking for version 6, this loads the themed controls.
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof(controls);
  controls.dwICC = ICC_STANDARD_CLASSES;
  InitCommonControlsEx(&controls);
}

// In 96-dpi pixels, as every position the toolkit is given.
ScreenSize screen_size() {
  const int dpi = system_dpi();
  return {MulDiv(GetSystemMetrics(SM_CXSCREEN), base_dpi, dpi),
          MulDiv(GetSystemMetrics(SM_CYSCREEN), base_dpi, dpi)};
}

void create_main_window(const WindowDescription& description, WindowPosition position) {
  if (!the_window().create(description, position)) {
    report_fatal_error("the main window could not be created");
  }
}

void show_controls() { the_window().show_controls(); }

void show_main_window() { the_window().show(); }

void run_message_loop(void (*on_click)()) { the_window().run_message_loop(on_click); }

Text control_text(Control control) {
  const HWND window = the_window().handle(control);
  if (window == nullptr) return Text();
  // In a double-byte code page the length is an upper bound; the copy says how
  // many bytes there are.
  const int length = GetWindowTextLengthA(window);
  std::string bytes(static_cast<std::size_t>(length) + 1, '\0');
  const int copied = GetWindowTextA(window, bytes.data(), length + 1);
  bytes.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
  return Text(std::move(bytes));
}

void set_caption(Control control, const Text& caption) {
  const HWND window = the_window().handle(control);
  if (window == nullptr) return;
  SetWindowTextA(window, caption.c_str());
  // Commands block the thread right after this, so paint now rather than at
  // the next WM_PAINT.
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

}  // namespace lorvane::platform
