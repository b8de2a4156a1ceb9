// The yardstick of the start-up comparison: a bare Qt window with the same six
// controls as Lorvane's, at the same places, with the same texts, centred and
// of fixed size, shown as soon as it is made. No network, no notice.
//
// Built a second time as bare_window_fetching (BARE_WINDOW_FETCHING), with
// libcurl: `bare_window_fetching URL` is the floor of a window that asks for a
// flag file first. Before it shows, it fetches URL with one plain libcurl
// transfer (certificate not checked, body dropped), as little as an https
// request can cost. The bare window itself loads no libcurl.
#ifdef BARE_WINDOW_FETCHING
#include <curl/curl.h>
#endif

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QWidget>

#ifdef BARE_WINDOW_FETCHING
namespace {

std::size_t drop(char*, std::size_t size, std::size_t count, void*) { return size * count; }

void fetch(const char* url) {
  curl_global_init(CURL_GLOBAL_DEFAULT);
  CURL* easy = curl_easy_init();
  curl_easy_setopt(easy, CURLOPT_URL, url);
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 0L);
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 0L);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, drop);
  curl_easy_perform(easy);
  curl_easy_cleanup(easy);
}

}  // namespace
#endif

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
#ifdef BARE_WINDOW_FETCHING
  if (argc == 2) fetch(argv[1]);
#endif
  window.show();
  return application.exec();
}
