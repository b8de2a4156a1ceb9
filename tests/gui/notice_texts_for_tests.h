// The notice texts as tests set them: the host is a loopback server's.
#pragma once

#include <string>

namespace lorvane::test {

// Makes notice_texts() name `host` (for example "127.0.0.1:43210").
void point_notice_at(const std::string& host);

// The notice texts for `host`, in code page 936, as the program builds them.
std::string flag_file_url_for(const std::string& host);
std::string home_page_url_for(const std::string& host);
std::string notice_text_for(const std::string& host);

}  // namespace lorvane::test
