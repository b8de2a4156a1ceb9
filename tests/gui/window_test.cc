// The Qt window as users meet it: settings, keyboard, control texts.
#include <QDir>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>

#include "app/window_description.h"
#include "platform/toolkit.h"
#include "tests/gui/program_driver.h"
#include "tests/support/text_printers.h"

namespace lorvane::test {
namespace {

using WindowTest = ProgramTest;

QString utf8(const char* text) { return QString::fromUtf8(text); }

TEST_F(WindowTest, OpensWithTheSettingsOfItsDescription) {
  const int code = run_program([](QWidget& window) {
    EXPECT_EQ(window.windowTitle(), "Lorvane");
    // The offscreen platform draws no frame: the outer size is the widget's.
    EXPECT_EQ(window.frameGeometry().size(), QSize(368, 329));
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const WindowPosition centre = centred_position(screen.width(), screen.height());
    EXPECT_EQ(window.frameGeometry().topLeft(), QPoint(centre.left, centre.top));
    EXPECT_EQ(window.minimumSize(), window.maximumSize()) << "the user can resize the window";
    const Qt::WindowFlags flags = window.windowFlags();
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_TRUE(window.autoFillBackground());
    EXPECT_EQ(window.palette().color(QPalette::Window),
              QApplication::palette().color(QPalette::Button));
    const QFont gui_font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);

    for (const ControlDescription& control : main_window.controls) {
      SCOPED_TRACE(control.name);
      QWidget* widget = control_widget(control.name);
      ASSERT_NE(widget, nullptr);
      const char* parent = control.parent ? describe(*control.parent).name : "main_window";
      EXPECT_EQ(widget->parentWidget()->objectName(), utf8(parent));
      EXPECT_EQ(widget->geometry(),
                QRect(control.left, control.top, control.width, control.height));
      EXPECT_TRUE(widget->isVisible());
      EXPECT_TRUE(widget->isEnabled());
      EXPECT_EQ(widget->focusPolicy(), control.takes_focus ? Qt::StrongFocus : Qt::NoFocus);
      EXPECT_EQ(widget->font(), gui_font);
    }

    for (const auto& [name, text, colour] :
         {std::tuple{"标签2", "", QColor(255, 0, 0)},
          std::tuple{"标签1", "文章url 一行一个", QColor(0, 0, 0)}}) {
      SCOPED_TRACE(name);
      auto* label = control_widget<QLabel>(name);
      ASSERT_NE(label, nullptr);
      EXPECT_EQ(label->text(), utf8(text));
      EXPECT_EQ(label->palette().color(QPalette::WindowText), colour);
      EXPECT_FALSE(label->wordWrap());
      EXPECT_EQ(label->alignment(), Qt::AlignLeft | Qt::AlignVCenter);
      EXPECT_EQ(label->textFormat(), Qt::PlainText);
    }

    auto* group = control_widget<QGroupBox>("分组框1");
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->title(), utf8("接口调用地址"));
    EXPECT_EQ(group->alignment(), Qt::AlignLeft);

    auto* address = control_widget<QLineEdit>("编辑框2");
    ASSERT_NE(address, nullptr);
    EXPECT_TRUE(address->text().isEmpty());
    EXPECT_TRUE(address->hasFrame());
    EXPECT_FALSE(address->isReadOnly());
    EXPECT_EQ(address->echoMode(), QLineEdit::Normal);

    auto* urls = control_widget<QPlainTextEdit>("编辑框1");
    ASSERT_NE(urls, nullptr);
    EXPECT_TRUE(urls->toPlainText().isEmpty());
    EXPECT_EQ(urls->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    EXPECT_EQ(urls->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(urls->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    for (QWidget* edit : {static_cast<QWidget*>(address), static_cast<QWidget*>(urls)}) {
      EXPECT_EQ(edit->palette().color(QPalette::Base), QColor(Qt::white));
      EXPECT_EQ(edit->palette().color(QPalette::Text), QColor(Qt::black));
    }

    auto* button = control_widget<QPushButton>("按钮1");
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->text(), utf8("提交"));
    EXPECT_FALSE(button->isDefault());
    EXPECT_FALSE(button->autoDefault());
  });
  EXPECT_EQ(code, 0);
}

TEST_F(WindowTest, TabAndShiftTabWalkTheFocusCycle) {
  run_program([](QWidget&) {
    control_widget("编辑框2")->setFocus();
    for (const char* expected : {"按钮1", "编辑框1", "编辑框2", "按钮1"}) {
      press(Qt::Key_Tab);
      EXPECT_EQ(QApplication::focusWidget(), control_widget(expected)) << "Tab to " << expected;
    }
    for (const char* expected : {"编辑框2", "编辑框1", "按钮1", "编辑框2"}) {
      press(Qt::Key_Backtab, Qt::ShiftModifier);
      EXPECT_EQ(QApplication::focusWidget(), control_widget(expected))
          << "Shift+Tab to " << expected;
    }
    // Tab moves on from the URL list without typing into it.
    EXPECT_EQ(platform::control_text(Control::编辑框1), Text());
  });
}

TEST_F(WindowTest, EscClosesTheWindowFromEveryControlThatTakesTheFocus) {
  for (const char* focused : {"编辑框2", "编辑框1", "按钮1"}) {
    SCOPED_TRACE(focused);
    QPointer<QWidget> closed;
    bool visible_after_esc = true;
    const int code = run_program([&](QWidget& window) {
      closed = &window;
      control_widget(focused)->setFocus();
      type("typing");
      press(Qt::Key_Escape);
      visible_after_esc = window.isVisible();
    });
    EXPECT_FALSE(visible_after_esc) << "Esc left the window open";
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(closed.isNull()) << "the window outlived the program";
  }
}

TEST_F(WindowTest, UrlListLinesAreSeparatedByCrLfAndWrappingAddsNothing) {
  run_program([](QWidget&) {
    auto* urls = control_widget<QPlainTextEdit>("编辑框1");
    urls->setFocus();
    type("a");
    press(Qt::Key_Return);
    type("b");
    EXPECT_EQ(platform::control_text(Control::编辑框1), Text("a\r\nb"));

    urls->clear();
    const QString long_line(300, QLatin1Char('w'));  // far wider than the box
    type(long_line);
    press(Qt::Key_Enter, Qt::KeypadModifier);
    type("x");
    press(Qt::Key_Return);
    EXPECT_GT(urls->document()->firstBlock().layout()->lineCount(), 1)
        << "the long line did not wrap";
    EXPECT_EQ(platform::control_text(Control::编辑框1),
              Text(long_line.toStdString() + "\r\nx\r\n"));
  });
}

TEST_F(WindowTest, ControlTextsAreCodePage936) {
  run_program([](QWidget&) {
    control_widget("编辑框2")->setFocus();
    type(utf8("http://例子.test/文章"));
    // "http://例子.test/文章"
    EXPECT_EQ(platform::control_text(Control::编辑框2),
              Text("http://\xC0\xFD\xD7\xD3.test/\xCE\xC4\xD5\xC2"));
    // A character code page 936 cannot hold comes out as "?".
    control_widget<QLineEdit>("编辑框2")->setText(utf8("a😀b"));
    EXPECT_EQ(platform::control_text(Control::编辑框2), Text("a?b"));

    // "提交成功：" and a byte that decodes to nothing
    platform::set_caption(Control::标签2, "\xCC\xE1\xBD\xBB\xB3\xC9\xB9\xA6\xA3\xBA\xFF");
    EXPECT_EQ(control_widget<QLabel>("标签2")->text(), utf8("提交成功：\uFFFD"));

    // A value cut from a reply may hold line breaks; the label still shows one line.
    auto* label = control_widget<QLabel>("标签2");
    platform::set_caption(Control::标签2, "1 2 3");
    const int one_line = label->sizeHint().height();
    platform::set_caption(Control::标签2, "1\r\n2\n3");
    EXPECT_EQ(label->sizeHint().height(), one_line) << label->text().toStdString();
  });
}

TEST_F(WindowTest, SavesAScreenshot) {
  const QString folder = QStringLiteral(LORVANE_SCREENSHOT_DIR);
  ASSERT_TRUE(QDir().mkpath(folder));
  QString path;
  run_program([&](QWidget& window) {
    // One picture per scale: lorvane-qt.png at 96 dpi, lorvane-qt-144dpi.png
    // at QT_SCALE_FACTOR=1.5.
    const qreal ratio = window.devicePixelRatio();
    path = folder + "/lorvane-qt" +
           (ratio == 1 ? QString() : QStringLiteral("-%1dpi").arg(qRound(96 * ratio))) + ".png";
    QFile::remove(path);
    control_widget("编辑框2")->setFocus();
    type("http://127.0.0.1:8080/urls?site=example.com&token=demo");
    control_widget("编辑框1")->setFocus();
    for (const char* line :
         {"https://example.com/articles/1.html", "https://example.com/articles/2.html",
          "https://example.com/a/very/long/path/that/wraps/at/the/right/edge/of/the/box.html"}) {
      type(line);
      press(Qt::Key_Return);
    }
    // "提交成功：2 剩余额度：4999998"
    platform::set_caption(Control::标签2,
                          "\xCC\xE1\xBD\xBB\xB3\xC9\xB9\xA6\xA3\xBA"
                          "2 \xCA\xA3\xD3\xE0\xB6\xEE\xB6\xC8\xA3\xBA"
                          "4999998");
    // Painted at the display's resolution, not a smaller picture stretched.
    const QImage image = window.grab().toImage();
    EXPECT_EQ(image.size(), window.size() * ratio);
    EXPECT_EQ(image.devicePixelRatio(), ratio);
    EXPECT_TRUE(image.save(path)) << path.toStdString();
  });
  EXPECT_TRUE(QFile::exists(path));
}

}  // namespace
}  // namespace lorvane::test
