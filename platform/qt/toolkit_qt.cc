// The window toolkit on Qt Widgets: the main window and its controls as the
// window description sets them, the keyboard rules, and the message loop.
#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QFontDatabase>
#include <QGroupBox>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/qt/cp936.h"
#include "platform/qt/frame_extents.h"
#include "platform/toolkit.h"

namespace lorvane::platform {

namespace {

using qt::from_cp936;
using qt::to_cp936;

constexpr std::size_t control_count = std::tuple_size_v<decltype(WindowDescription::controls)>;

std::size_t index_of(Control control) { return static_cast<std::size_t>(control); }

QColor colour_of(Colour colour) { return QColor(colour.red, colour.green, colour.blue); }

// The window sees each key before the focused control: Tab and Shift+Tab walk
// the focus cycle, Esc closes the window, and Enter reaches only the
// multi-line box.
class KeyRules : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* target, QEvent* event) override;
};

struct State {
  QApplication* application = nullptr;
  QPointer<QWidget> window;
  std::array<QPointer<QWidget>, control_count> controls;
  std::array<Control, 3> focus_cycle{};
  KeyRules* key_rules = nullptr;
  void (*on_click)() = nullptr;
};

State& state() {
  static State the_state;
  return the_state;
}

QWidget* widget_of(Control control) { return state().controls[index_of(control)]; }

// Moves the focus `step` places along the cycle, skipping hidden or disabled
// controls; from outside the cycle it goes to the first control.
void move_focus(int step) {
  const auto& cycle = state().focus_cycle;
  const int size = static_cast<int>(cycle.size());
  int at = -1;
  QWidget* focused = QApplication::focusWidget();
  for (int i = 0; i < size; ++i) {
    if (widget_of(cycle[static_cast<std::size_t>(i)]) == focused) at = i;
  }
  if (at < 0) at = step > 0 ? size - 1 : 0;
  for (int tried = 1; tried <= size; ++tried) {
    QWidget* next =
        widget_of(cycle[static_cast<std::size_t>(((at + step * tried) % size + size) % size)]);
    if (next != nullptr && next->isVisible() && next->isEnabled()) {
      next->setFocus(step > 0 ? Qt::TabFocusReason : Qt::BacktabFocusReason);
      return;
    }
  }
}

bool KeyRules::eventFilter(QObject* target, QEvent* event) {
  if (event->type() != QEvent::KeyPress) return false;
  auto* widget = qobject_cast<QWidget*>(target);
  QWidget* window = state().window;
  // Message boxes and anything else keep their own keys.
  if (widget == nullptr || window == nullptr || widget->window() != window) return false;
  const auto* key = static_cast<QKeyEvent*>(event);
  const Qt::KeyboardModifiers modifiers = key->modifiers();
  switch (key->key()) {
    case Qt::Key_Escape:
      window->close();
      return true;
    case Qt::Key_Tab:
      if (modifiers & (Qt::ControlModifier | Qt::AltModifier)) return false;
      move_focus((modifiers & Qt::ShiftModifier) ? -1 : 1);
      return true;
    case Qt::Key_Backtab:
      if (modifiers & (Qt::ControlModifier | Qt::AltModifier)) return false;
      move_focus(-1);
      return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      // There is no default button: Enter only breaks lines in the URL list.
      return widget != widget_of(Control::编辑框1);
    default:
      return false;
  }
}

// Edit boxes: black on white, and the selection hidden while the box does not
// have the focus.
void set_edit_palette(QWidget* edit, Colour text_colour) {
  QPalette palette = edit->palette();
  palette.setColor(QPalette::Base, Qt::white);
  palette.setColor(QPalette::Text, colour_of(text_colour));
  palette.setColor(QPalette::Inactive, QPalette::Highlight, Qt::white);
  palette.setColor(QPalette::Inactive, QPalette::HighlightedText, colour_of(text_colour));
  edit->setPalette(palette);
}

QWidget* make_control(const ControlDescription& control, QWidget* parent) {
  const QString text = from_cp936(control.initial_text);
  QWidget* widget = nullptr;
  switch (control.kind) {
    case ControlKind::label: {
      auto* label = new QLabel(parent);
      label->setTextFormat(Qt::PlainText);
      label->setText(text);
      label->setWordWrap(false);
      label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
      label->setTextInteractionFlags(Qt::NoTextInteraction);
      QPalette palette = label->palette();
      palette.setColor(QPalette::WindowText, colour_of(control.text_colour));
      label->setPalette(palette);
      widget = label;
      break;
    }
    case ControlKind::single_line_edit: {
      auto* edit = new QLineEdit(parent);
      edit->setText(text);
      edit->setFrame(true);
      edit->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
      set_edit_palette(edit, control.text_colour);
      widget = edit;
      break;
    }
    case ControlKind::multi_line_edit: {
      auto* edit = new QPlainTextEdit(parent);
      edit->setPlainText(text);
      edit->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
      edit->setLineWrapMode(QPlainTextEdit::WidgetWidth);
      edit->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
      edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
      edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
      edit->setTabChangesFocus(true);
      set_edit_palette(edit, control.text_colour);
      widget = edit;
      break;
    }
    case ControlKind::group_box: {
      auto* box = new QGroupBox(text, parent);
      box->setAlignment(Qt::AlignLeft);
      QPalette palette = box->palette();
      palette.setColor(QPalette::WindowText, colour_of(control.text_colour));
      box->setPalette(palette);
      widget = box;
      break;
    }
    case ControlKind::push_button: {
      auto* button = new QPushButton(text, parent);
      button->setAutoDefault(false);
      button->setDefault(false);
      QObject::connect(button, &QPushButton::clicked, [] {
        void (*on_click)() = state().on_click;
        if (on_click == nullptr) return;
        QApplication::setOverrideCursor(Qt::WaitCursor);
        on_click();
        QApplication::restoreOverrideCursor();
      });
      widget = button;
      break;
    }
  }
  widget->setObjectName(QString::fromUtf8(control.name));
  widget->setFocusPolicy(control.takes_focus ? Qt::StrongFocus : Qt::NoFocus);
  widget->setGeometry(control.left, control.top, control.width, control.height);
  // Created hidden: showing the window alone must not show them.
  widget->hide();
  return widget;
}

}  // namespace

void toolkit_initialize() {
  State& s = state();
  if (QApplication::instance() == nullptr) {
    // The program reads no command line; Qt gets the program's name only.
    static int argc = 1;
    static char name[] = "lorvane";
    static char* argv[] = {name, nullptr};
    // Lives until the process ends, which follows straight after the loop.
    s.application = new QApplication(argc, argv);
  }
  // The loop ends when the main window is gone, not when some box closes.
  QApplication::setQuitOnLastWindowClosed(false);
  // The program's icon, from the icon theme where the package installs it,
  // and the desktop entry that the desktop matches the window to.
  QGuiApplication::setDesktopFileName(QStringLiteral(LORVANE_APP_ID));
  // Not installed (a build folder), the theme has none and Qt's own stays.
  const QIcon icon = QIcon::fromTheme(QStringLiteral(LORVANE_APP_ID));
  if (!icon.isNull()) QApplication::setWindowIcon(icon);
  if (s.key_rules == nullptr) {
    s.key_rules = new KeyRules(QApplication::instance());
    QApplication::instance()->installEventFilter(s.key_rules);
  }
}

ScreenSize screen_size() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return {0, 0};
  const QRect whole = screen->geometry();
  return {whole.width(), whole.height()};
}

void create_main_window(const WindowDescription& description, WindowPosition position) {
  State& s = state();
  delete s.window;  // the window of an earlier run in the same process
  auto* window = new QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                                          Qt::WindowCloseButtonHint);
  if (window->winId() == 0) {
    std::fputs("lorvane: the main window cannot be created\n", stderr);
    std::exit(1);
  }
  window->setObjectName(QStringLiteral("main_window"));
  window->setAttribute(Qt::WA_DeleteOnClose);
  window->setWindowTitle(from_cp936(description.title));
  QPalette palette = window->palette();
  palette.setColor(QPalette::Window, palette.color(QPalette::Button));
  window->setPalette(palette);
  window->setAutoFillBackground(true);
  window->setFont(QFontDatabase::systemFont(QFontDatabase::GeneralFont));
  // The description gives the outer size and position; the frame, where a
  // window manager draws one, comes off the client area. Its widths are asked
  // for before the window is first shown, so that it appears once, in place;
  // the manager fits its frame to a window of fixed size (no resize handle),
  // so the window says first that it is one.
  window->setFixedSize(description.width, description.height);
  if (const std::optional<QMargins> frame = qt::window_manager_frame(*window->windowHandle())) {
    // Worked out in the display's pixels, where the frame has whole widths,
    // and only then in Qt's, which a fractional scale makes round.
    const qreal ratio = window->devicePixelRatio();
    const auto display = [ratio](int pixels) { return qRound(pixels * ratio); };
    const auto own = [ratio](int pixels) { return qRound(pixels / ratio); };
    window->setFixedSize(own(display(description.width) - frame->left() - frame->right()),
                         own(display(description.height) - frame->top() - frame->bottom()));
    // The client's own position (static gravity): the manager puts its frame
    // around it, at the outer position.
    window->windowHandle()->setPosition(own(display(position.left) + frame->left()),
                                        own(display(position.top) + frame->top()));
  } else {
    // No manager to ask (none runs, or the platform is not X11): the frame
    // as Qt knows it, none where nobody draws one.
    const QMargins known = window->windowHandle()->frameMargins();
    window->setFixedSize(description.width - known.left() - known.right(),
                         description.height - known.top() - known.bottom());
    window->move(position.left, position.top);
  }

  s.window = window;
  s.controls = {};
  s.focus_cycle = description.focus_cycle;
  // Parents before children, whatever the order of the description.
  for (bool children : {false, true}) {
    for (const ControlDescription& control : description.controls) {
      if (control.parent.has_value() != children) continue;
      QWidget* parent = children ? widget_of(*control.parent) : window;
      if (parent == nullptr) {
        std::fprintf(stderr, "lorvane: the parent of %s is not a top-level control\n",
                     control.name);
        std::exit(1);
      }
      s.controls[index_of(control.control)] = make_control(control, parent);
    }
  }
}

void show_controls() {
  for (QWidget* control : state().controls) {
    if (control != nullptr) control->show();
  }
}

void show_main_window() {
  State& s = state();
  if (s.window == nullptr) return;
  if (QWidget* first = widget_of(s.focus_cycle[0])) first->setFocus(Qt::OtherFocusReason);
  s.window->show();
  s.window->raise();
  s.window->activateWindow();
}

void run_message_loop(void (*on_click)()) {
  State& s = state();
  if (s.window == nullptr) return;
  s.on_click = on_click;
  QEventLoop loop;
  QObject::connect(s.window, &QObject::destroyed, &loop, &QEventLoop::quit);
  loop.exec();
  s.on_click = nullptr;
}

Text control_text(Control control) {
  QWidget* widget = widget_of(control);
  QString text;
  if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
    text = edit->text();
  } else if (auto* edit = qobject_cast<QPlainTextEdit*>(widget)) {
    // Lines the user typed are separated by CR LF; wrapped lines add nothing.
    text = edit->toPlainText().replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
  } else if (auto* label = qobject_cast<QLabel*>(widget)) {
    text = label->text();
  } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
    text = button->text();
  } else if (auto* box = qobject_cast<QGroupBox*>(widget)) {
    text = box->title();
  }
  return Text(to_cp936(text));
}

void set_caption(Control control, const Text& caption) {
  QWidget* widget = widget_of(control);
  const QString text = from_cp936(caption.view());
  if (auto* label = qobject_cast<QLabel*>(widget)) {
    // A label shows one line, but QLabel breaks at every line feed: each CR and
    // LF of a caption (a value cut from a reply may hold them) shows as a space.
    QString line = text;
    line.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    label->setText(line);
  } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
    button->setText(text);
  } else if (auto* box = qobject_cast<QGroupBox*>(widget)) {
    box->setTitle(text);
  } else {
    return;
  }
  // The command goes on blocking the thread; the new caption must show now.
  widget->repaint();
}

}  // namespace lorvane::platform
