#include "app/submit_command.h"

#include "app/submission.h"
#include "app/window_description.h"
#include "platform/toolkit.h"

namespace lorvane {

void submit_command() {
  const Text address = platform::control_text(Control::编辑框2);
  const Text url_list = platform::control_text(Control::编辑框1);
  const SubmitResult result = submit_urls(address, url_list);
  platform::set_caption(Control::标签2, result.result_line);
}

}  // namespace lorvane
