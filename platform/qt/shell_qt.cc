// The message box and the browser on Qt.
#include <QDesktopServices>
#include <QMessageBox>
#include <QUrl>
#include <cstdio>

#include "platform/qt/cp936.h"
#include "platform/shell.h"

namespace lorvane::platform {

namespace {
constexpr std::int32_t IDOK = 1;
}  // namespace

// The box has no owner, so it is modal to the whole program whatever the
// modality bits say; the program asks only for MB_OK, one OK button.
std::int32_t show_message(const Text& text, std::uint32_t /*type*/,
                          const std::optional<Text>& title) {
  const std::string_view shown_title = title.has_value() ? title->view() : default_message_title;
  QMessageBox box(QMessageBox::NoIcon, qt::from_cp936(shown_title), qt::from_cp936(text.view()),
                  QMessageBox::Ok);
  box.setTextFormat(Qt::PlainText);
  box.setWindowModality(Qt::ApplicationModal);
  box.exec();
  return IDOK;
}

void tell_starter(const Text& line) {
  std::fwrite(line.view().data(), 1, line.view().size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void open_in_browser(const Text& url) {
  // The desktop's own opener: the URL never passes through a shell.
  QDesktopServices::openUrl(QUrl(qt::from_cp936(url.view())));
}

}  // namespace lorvane::platform
