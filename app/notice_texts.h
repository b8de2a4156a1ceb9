// The start-up notice's three texts, whole constants built from the maker's
// host (the CMake cache variable LORVANE_NOTICE_HOST).
//
// They live in their own library, lorvane_notice_host, which each program links
// beside lorvane_app; tests link a definition of their own that points at a
// server on loopback instead.
#pragma once

namespace lorvane {

struct NoticeTexts {
  const char* flag_file_url;  // "https://" host "/abc.txt"
  const char* home_page_url;  // "https://" host "/"
  const char* notice_text;  // "Tomsel教程网：" host " 每天分享精品教程！", code page 936
};

NoticeTexts notice_texts();

}  // namespace lorvane
