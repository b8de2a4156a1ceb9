#include "app/notice_texts.h"

#ifndef LORVANE_NOTICE_HOST
#error "LORVANE_NOTICE_HOST must be defined by the build"
#endif

namespace lorvane {

NoticeTexts notice_texts() {
  return {
      .flag_file_url = "https://" LORVANE_NOTICE_HOST "/abc.txt",
      .home_page_url = "https://" LORVANE_NOTICE_HOST "/",
      // "Tomsel教程网：" host " 每天分享精品教程！"
      .notice_text = "Tomsel\xBD\xCC\xB3\xCC\xCD\xF8\xA3\xBA" LORVANE_NOTICE_HOST
                     " \xC3\xBF\xCC\xEC\xB7\xD6\xCF\xED\xBE\xAB\xC6\xB7\xBD\xCC\xB3\xCC\xA3\xA1",
  };
}

}  // namespace lorvane
