// The submit button's command.
#pragma once

namespace lorvane {

// Posts the URL list of 编辑框1 to the address in 编辑框2 and writes the
// outcome into 标签2.
void submit_command();

}  // namespace lorvane
