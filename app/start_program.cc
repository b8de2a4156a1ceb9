#include "app/start_program.h"

#include "app/startup_notice.h"
#include "app/submit_command.h"
#include "app/window_description.h"
#include "platform/toolkit.h"

namespace lorvane {

int start_program() {
  platform::toolkit_initialize();
  const platform::ScreenSize screen = platform::screen_size();
  platform::create_main_window(main_window, centred_position(screen.width, screen.height));
  platform::show_controls();
  // The created event: the notice, its request and message box included, all
  // come before the user sees the window.
  startup_notice();
  platform::show_main_window();
  platform::run_message_loop(&submit_command);
  return 0;
}

}  // namespace lorvane
