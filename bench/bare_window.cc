// The yardstick of the start-up comparison: a bare Qt window with the same six
// controls as Lorvane's, at the same places, with the same texts, centred and
// of fixed size, shown as soon as it is made. No network, no notice.
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QWidget>

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QWidget window;
  window.setWindowTitle(QStringLiteral("Lorvane"));
  window.setFixedSize(368, 329);
  auto* result = new QLabel(&window);
  result->setGeometry(16, 264, 264, 32);
  QPalette red = result->palette();
  red.setColor(QPalette::WindowText, QColor(255, 0, 0));
  result->setPalette(red);
  auto* caption = new QLabel(QString::fromUtf8("文章url 一行一个"), &window);
  caption->setGeometry(8, 80, 152, 16);
  auto* group = new QGroupBox(QString::fromUtf8("接口调用地址"), &window);
  group->setGeometry(8, 8, 344, 64);
  auto* address = new QLineEdit(group);
  address->setGeometry(8, 22, 328, 34);
  auto* urls = new QPlainTextEdit(&window);
  urls->setGeometry(6, 104, 344, 152);
  auto* submit = new QPushButton(QString::fromUtf8("提交"), &window);
  submit->setGeometry(288, 260, 72, 32);
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  window.move((screen.width() - 368) / 2, (screen.height() - 329) / 2);
  window.show();
  return application.exec();
}
