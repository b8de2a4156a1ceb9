// Replaces the program's lorvane_notice_host at link time.
#include "tests/gui/notice_texts_for_tests.h"

#include "app/notice_texts.h"

namespace lorvane {

namespace {
struct Texts {
  std::string flag_file_url;
  std::string home_page_url;
  std::string notice_text;
};

Texts& current() {
  // Until a test points it somewhere, a loopback port nobody listens on.
  static Texts texts{test::flag_file_url_for("127.0.0.1:1"), test::home_page_url_for("127.0.0.1:1"),
                     test::notice_text_for("127.0.0.1:1")};
  return texts;
}
}  // namespace

NoticeTexts notice_texts() {
  const Texts& texts = current();
  return {texts.flag_file_url.c_str(), texts.home_page_url.c_str(), texts.notice_text.c_str()};
}

namespace test {

std::string flag_file_url_for(const std::string& host) { return "https://" + host + "/abc.txt"; }

std::string home_page_url_for(const std::string& host) { return "https://" + host + "/"; }

std::string notice_text_for(const std::string& host) {
  // "Tomsel教程网：" host " 每天分享精品教程！"
  return "Tomsel\xBD\xCC\xB3\xCC\xCD\xF8\xA3\xBA" + host +
         " \xC3\xBF\xCC\xEC\xB7\xD6\xCF\xED\xBE\xAB\xC6\xB7\xBD\xCC\xB3\xCC\xA3\xA1";
}

void point_notice_at(const std::string& host) {
  current() = {flag_file_url_for(host), home_page_url_for(host), notice_text_for(host)};
}

}  // namespace test
}  // namespace lorvane
