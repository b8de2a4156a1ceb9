// The maker's notice, run once from the main window's created event.
#pragma once

namespace lorvane {

// Fetches the flag file; unless its text is exactly "0", opens the maker's home
// page in the browser and then shows the notice, waiting until it is dismissed.
void startup_notice();

}  // namespace lorvane
