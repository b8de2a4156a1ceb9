// The submit button against a real interface on loopback: what is posted and
// what the result line then says.
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include "tests/gui/program_driver.h"

namespace lorvane::test {
namespace {

using SubmitTest = ProgramTest;

QString utf8(const char* text) { return QString::fromUtf8(text); }

// Types the address and the URL list, clicks 提交 and returns the result line.
QString submit_in_window(const QString& address, const QStringList& urls) {
  control_widget("编辑框2")->setFocus();
  type(address);
  control_widget("编辑框1")->setFocus();
  for (qsizetype i = 0; i < urls.size(); ++i) {
    if (i > 0) press(Qt::Key_Return);
    type(urls[i]);
  }
  QTest::mouseClick(control_widget("按钮1"), Qt::LeftButton);
  return control_widget<QLabel>("标签2")->text();
}

TEST_F(SubmitTest, PostsTheListAsTypedAndShowsWhatTheReplySays) {
  struct Case {
    const char* what;
    int status;
    std::string reply;
    const char* result_line;  // UTF-8, as the label shows it
  };
  const Case cases[] = {
      {"the remain field closed by a brace", 200, R"({"remain":4999998,"success":2})",
       "提交成功：2 剩余额度：4999998"},
      {"pretty-printed, the last field before a line break and a brace", 200,
       "{\n  \"success\": 2,\n  \"remain\": 4999998\n}", "提交成功： 2 剩余额度： 4999998"},
      {"the success key whatever the status", 404, R"({"success":0,"remain":0})",
       "提交成功：0 剩余额度：0"},
      {"an error reply without the success key", 400, R"({"error":400,"message":"site init fail"})",
       "提交失败：{\"error\":400,\"message\":\"site init fail\"}"},
      {"an empty reply shows the status line", 500, "",
       "提交失败：HTTP/1.1 500 Internal Server Error"},
      {"line breaks of the reply shown as spaces", 200, "bad\r\nreply\n", "提交失败：bad  reply "},
      // "错误" in code page 936
      {"a code page 936 reply", 403, "\xB4\xED\xCE\xF3", "提交失败：错误"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScriptedServer interface(ScriptedServer::Scheme::http, c.status, c.reply);
    const QString address = QStringLiteral("http://127.0.0.1:%1/urls").arg(interface.port());
    QString shown;
    run_program([&](QWidget&) {
      shown = submit_in_window(address, {"http://a.example/1", utf8("http://a.example/文章")});
    });
    EXPECT_EQ(shown, utf8(c.result_line));
    const std::vector<RecordedRequest> requests = interface.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].target, "/urls");
    // "http://a.example/文章" in code page 936, lines joined by CR LF, nothing after the last
    EXPECT_EQ(requests[0].body, "http://a.example/1\r\nhttp://a.example/\xCE\xC4\xD5\xC2");
  }
}

// A header block too large for the web layer's 5000-byte buffer (a long
// Content-Security-Policy, tracing headers) still is a response: its reply is
// read like any other, and an empty one is a failure, not "cannot connect".
TEST_F(SubmitTest, AReplyWithAHeaderBlockOver5000BytesIsRead) {
  struct Case {
    const char* what;
    int status;
    std::string reply;
    const char* result_line;
  };
  const Case cases[] = {
      {"accepted", 200, R"({"remain":6,"success":2})", "提交成功：2 剩余额度：6"},
      {"refused", 400, R"({"error":400})", "提交失败：{\"error\":400}"},
      // The status line is in the block that could not be read.
      {"an empty reply", 500, "", "提交失败："},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScriptedServer interface;
    interface.reply_with(c.status, c.reply, long_header_lines(6000));
    const QString address = QStringLiteral("http://127.0.0.1:%1/urls").arg(interface.port());
    QString shown;
    run_program([&](QWidget&) { shown = submit_in_window(address, {"http://a.example/1"}); });
    EXPECT_EQ(shown, utf8(c.result_line));
    EXPECT_EQ(interface.requests().size(), 1u);
  }
}

TEST_F(SubmitTest, RefusedConnectionSaysTheInterfaceCannotBeReached) {
  const QString address = QStringLiteral("http://127.0.0.1:%1/urls").arg(refused_port());
  QString shown;
  run_program([&](QWidget&) { shown = submit_in_window(address, {"http://a.example/1"}); });
  EXPECT_EQ(shown, utf8("提交失败：无法连接接口"));
}

TEST_F(SubmitTest, EachClickSendsItsOwnRequestAndReplacesTheResultLine) {
  ScriptedServer interface(ScriptedServer::Scheme::http, 200, R"({"success":1,"remain":9})");
  const QString address = QStringLiteral("http://127.0.0.1:%1/urls").arg(interface.port());
  run_program([&](QWidget&) {
    EXPECT_EQ(submit_in_window(address, {}), utf8("提交成功：1 剩余额度：9"));
    control_widget<QLabel>("标签2")->clear();
    QTest::mouseClick(control_widget("按钮1"), Qt::LeftButton);
    EXPECT_EQ(control_widget<QLabel>("标签2")->text(), utf8("提交成功：1 剩余额度：9"));
  });
  const std::vector<RecordedRequest> requests = interface.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].body, "");  // an empty list is sent all the same
  EXPECT_EQ(requests[1].body, "");
}

TEST_F(SubmitTest, EnterInTheAddressBoxOrOnTheButtonSendsNothing) {
  ScriptedServer interface(ScriptedServer::Scheme::http, 200, R"({"success":1,"remain":9})");
  const QString address = QStringLiteral("http://127.0.0.1:%1/urls").arg(interface.port());
  QString caption_after_enter;
  bool focus_stayed_on_button = false;
  run_program([&](QWidget&) {
    control_widget("编辑框1")->setFocus();
    type("http://a.example/1");
    control_widget("编辑框2")->setFocus();
    type(address);
    press(Qt::Key_Return);
    press(Qt::Key_Enter, Qt::KeypadModifier);
    press(Qt::Key_Tab);
    press(Qt::Key_Return);
    press(Qt::Key_Enter, Qt::KeypadModifier);
    focus_stayed_on_button = QApplication::focusWidget() == control_widget("按钮1");
    caption_after_enter = control_widget<QLabel>("标签2")->text();
    // The same window does send when the button is clicked.
    QTest::mouseClick(control_widget("按钮1"), Qt::LeftButton);
  });
  EXPECT_EQ(caption_after_enter, QString());
  EXPECT_EQ(interface.requests().size(), 1u) << "Enter sent a request, or the click did not";
  EXPECT_TRUE(focus_stayed_on_button);
}

}  // namespace
}  // namespace lorvane::test
