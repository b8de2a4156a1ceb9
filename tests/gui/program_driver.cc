#include "tests/gui/program_driver.h"

#include <gtest/gtest.h>

#include <QInputMethodEvent>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include "app/start_program.h"
#include "platform/toolkit.h"
#include "tests/gui/recording_shell.h"

namespace lorvane::test {

QWidget* main_window_widget() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->objectName() == QLatin1String("main_window")) return widget;
  }
  return nullptr;
}

int run_program(const std::function<void(QWidget& window)>& script) {
  platform::toolkit_initialize();
  watch_main_window_shows();
  bool ran = false;
  std::function<void()> attempt = [&] {
    QPointer<QWidget> window = main_window_widget();
    if (window == nullptr || !window->isVisible()) {
      QTimer::singleShot(10, attempt);
      return;
    }
    ran = true;
    EXPECT_TRUE(QTest::qWaitForWindowActive(window));
    script(*window);
    if (window != nullptr && window->isVisible()) window->close();
  };
  QTimer::singleShot(0, attempt);
  const int result = start_program();
  EXPECT_TRUE(ran) << "the main window never appeared";
  return result;
}

void press(Qt::Key key, Qt::KeyboardModifiers modifiers) {
  QWidget* focused = QApplication::focusWidget();
  ASSERT_NE(focused, nullptr) << "no widget has the keyboard focus";
  QTest::keyClick(focused, key, modifiers);
}

void type(const QString& text) {
  QWidget* focused = QApplication::focusWidget();
  ASSERT_NE(focused, nullptr) << "no widget has the keyboard focus";
  bool latin1 = true;
  for (const QChar c : text) latin1 = latin1 && c.unicode() < 0x80;
  if (latin1) {
    QTest::keyClicks(focused, text);
    return;
  }
  // Keys cannot spell CJK text; an input method commits it instead.
  QInputMethodEvent commit;
  commit.setCommitString(text);
  QApplication::sendEvent(focused, &commit);
}

}  // namespace lorvane::test
