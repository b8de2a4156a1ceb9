#include "tests/gui/recording_shell.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>

#include "platform/shell.h"

namespace lorvane {

namespace {

bool main_window_visible() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->objectName() == QLatin1String("main_window") && widget->isVisible()) return true;
  }
  return false;
}

class ShowWatcher : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* target, QEvent* event) override {
    if (event->type() == QEvent::Show && !event->spontaneous() &&
        target->objectName() == QLatin1String("main_window")) {
      test::shell_events().push_back(
          {test::ShellEvent::Kind::window_shown, {}, 0, std::nullopt, true});
    }
    return false;
  }
};

}  // namespace

namespace test {

std::vector<ShellEvent>& shell_events() {
  static std::vector<ShellEvent> events;
  return events;
}

void watch_main_window_shows() {
  static ShowWatcher* watcher = nullptr;
  if (watcher != nullptr) return;
  watcher = new ShowWatcher(QApplication::instance());
  QApplication::instance()->installEventFilter(watcher);
}

}  // namespace test

namespace platform {

std::int32_t show_message(const Text& text, std::uint32_t type, const std::optional<Text>& title) {
  std::optional<std::string> given_title;
  if (title.has_value()) given_title = std::string(title->view());
  test::shell_events().push_back({test::ShellEvent::Kind::message_shown, std::string(text.view()),
                                  type, given_title, main_window_visible()});
  return 1;  // IDOK: dismissed at once
}

void open_in_browser(const Text& url) {
  test::shell_events().push_back({test::ShellEvent::Kind::browser_opened, std::string(url.view()),
                                  0, std::nullopt, main_window_visible()});
}

}  // namespace platform
}  // namespace lorvane
