// The Qt message box and URL opener behind platform/shell.h.
#include "platform/shell.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <functional>
#include <vector>

namespace lorvane::test {
namespace {

void ensure_application() {
  static int argc = 1;
  static char name[] = "shell_test";
  static char* argv[] = {name, nullptr};
  if (QApplication::instance() == nullptr) new QApplication(argc, argv);
}

// Runs `act` on the message box once it is up.
void when_box_is_up(const std::function<void(QMessageBox&)>& act) {
  QTimer::singleShot(10, [act] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) {
      when_box_is_up(act);
      return;
    }
    act(*box);
  });
}

TEST(QtShellTest, MessageBoxHasNoOwnerNoIconAndOneOkButton) {
  ensure_application();
  struct Case {
    const char* what;
    std::optional<Text> title;
    const char* shown_title;
    bool dismiss_with_escape;
  };
  const Case cases[] = {
      {"title omitted", std::nullopt, "信息：", false},
      // "标题"
      {"title given", Text("\xB1\xEA\xCC\xE2"), "标题", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    bool seen = false;
    when_box_is_up([&](QMessageBox& box) {
      seen = true;
      EXPECT_EQ(box.parentWidget(), nullptr);
      EXPECT_EQ(box.windowTitle(), QString::fromUtf8(c.shown_title));
      EXPECT_EQ(box.text(), QString::fromUtf8("Tomsel教程网：a.test 每天分享精品教程！"));
      EXPECT_EQ(box.textFormat(), Qt::PlainText);
      EXPECT_EQ(box.icon(), QMessageBox::NoIcon);
      EXPECT_EQ(box.standardButtons(), QMessageBox::Ok);
      EXPECT_EQ(box.buttons().size(), 1);
      EXPECT_EQ(box.windowModality(), Qt::ApplicationModal);
      if (c.dismiss_with_escape) {
        QTest::keyClick(&box, Qt::Key_Escape);
      } else {
        box.button(QMessageBox::Ok)->click();
      }
    });
    // "Tomsel教程网：a.test 每天分享精品教程！"
    const std::int32_t pressed = platform::show_message(
        "Tomsel\xBD\xCC\xB3\xCC\xCD\xF8\xA3\xBA"
        "a.test "
        "\xC3\xBF\xCC\xEC\xB7\xD6\xCF\xED\xBE\xAB\xC6\xB7\xBD\xCC\xB3\xCC\xA3\xA1",
        bit_or(platform::MB_OK, platform::MB_TASKMODAL), c.title);
    EXPECT_TRUE(seen);
    EXPECT_EQ(pressed, 1);  // IDOK
  }
}

class UrlCatcher : public QObject {
  Q_OBJECT
 public:
  std::vector<QUrl> urls;
 public slots:
  void open(const QUrl& url) { urls.push_back(url); }
};

TEST(QtShellTest, OpenInBrowserHandsTheUrlToTheDesktopOpener) {
  ensure_application();
  UrlCatcher catcher;
  // Stands in for the desktop's browser, so no browser starts.
  QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "open");
  // "https://a.test/文章/"
  platform::open_in_browser("https://a.test/\xCE\xC4\xD5\xC2/");
  QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
  ASSERT_EQ(catcher.urls.size(), 1u);
  EXPECT_EQ(catcher.urls[0], QUrl(QString::fromUtf8("https://a.test/文章/")));
}

}  // namespace
}  // namespace lorvane::test

#include "shell_test.moc"
