// Runs the real program (start_program) on Qt's offscreen platform and lets a
// test act on the shown window from inside the message loop.
#pragma once

#include <QApplication>
#include <QWidget>
#include <functional>

namespace lorvane::test {

// The main window, or null when there is none.
QWidget* main_window_widget();

// The control of the main window with the given name ("编辑框1").
template <typename Widget = QWidget>
Widget* control_widget(const char* name) {
  QWidget* window = main_window_widget();
  return window == nullptr ? nullptr : window->findChild<Widget*>(QString::fromUtf8(name));
}

// Runs start_program. `script` runs once the loop takes events and the window
// is shown and active; a window the script leaves open is closed afterwards.
// Returns what start_program returned.
int run_program(const std::function<void(QWidget& window)>& script);

// A key press and release sent where the keyboard sends it: to the focused
// widget.
void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);

// Text typed into the focused widget.
void type(const QString& text);

}  // namespace lorvane::test

#include <gtest/gtest.h>

#include <string>

#include "tests/gui/notice_texts_for_tests.h"
#include "tests/gui/recording_shell.h"
#include "tests/support/scripted_server.h"
#include "tests/support/test_servers.h"

namespace lorvane::test {

// Each test starts the program with a maker's site that wants no notice, and
// with an empty record of shell calls.
class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    point_notice_at("127.0.0.1:" + std::to_string(flag_server_.port()));
    shell_events().clear();
  }

  ScriptedServer flag_server_{ScriptedServer::Scheme::https, 200, "0"};
};

}  // namespace lorvane::test
