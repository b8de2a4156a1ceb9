#include "app/window_description.h"

namespace lorvane {

namespace {
constexpr Colour black{0, 0, 0};
constexpr Colour pure_red{255, 0, 0};
}  // namespace

const WindowDescription main_window = {
    .title = "Lorvane",
    .width = 368,
    .height = 329,
    .controls = {{
        {Control::标签2, "标签2", ControlKind::label, std::nullopt, 16, 264, 264, 32, "", pure_red,
         false},
        // "文章url 一行一个"
        {Control::标签1, "标签1", ControlKind::label, std::nullopt, 8, 80, 152, 16,
         "\xCE\xC4\xD5\xC2url \xD2\xBB\xD0\xD0\xD2\xBB\xB8\xF6", black, false},
        {Control::编辑框2, "编辑框2", ControlKind::single_line_edit, Control::分组框1, 8, 22, 328,
         34, "", black, true},
        // "接口调用地址"
        {Control::分组框1, "分组框1", ControlKind::group_box, std::nullopt, 8, 8, 344, 64,
         "\xBD\xD3\xBF\xDA\xB5\xF7\xD3\xC3\xB5\xD8\xD6\xB7", black, false},
        {Control::编辑框1, "编辑框1", ControlKind::multi_line_edit, std::nullopt, 6, 104, 344, 152,
         "", black, true},
        // "提交"
        {Control::按钮1, "按钮1", ControlKind::push_button, std::nullopt, 288, 260, 72, 32,
         "\xCC\xE1\xBD\xBB", black, true},
    }},
    .focus_cycle = {Control::编辑框2, Control::按钮1, Control::编辑框1},
};

const ControlDescription& describe(Control control) {
  return main_window.controls[static_cast<std::size_t>(control)];
}

WindowPosition centred_position(int screen_width, int screen_height) {
  // C++ division truncates toward zero, as the window's placement requires.
  return {(screen_width - main_window.width) / 2, (screen_height - main_window.height) / 2};
}

}  // namespace lorvane
