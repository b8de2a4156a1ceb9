#include "app/startup_notice.h"

#include "app/notice_texts.h"
#include "platform/shell.h"
#include "text/operations.h"
#include "text/values.h"
#include "web/web_request.h"

namespace lorvane {

void startup_notice() {
  const NoticeTexts texts = notice_texts();
  const Text flag = bytes_to_text(web_request(texts.flag_file_url));
  if (compare_texts(flag, "0") == 0) return;
  // The home page first, then the box; both or neither.
  platform::open_in_browser(texts.home_page_url);
  platform::show_message(texts.notice_text, bit_or(platform::MB_OK, platform::MB_TASKMODAL));
}

}  // namespace lorvane
