// The Qt window on a real X server (Xvfb), with a window manager and without
// one: the outer size and position, frame included, are those of the window
// description, from the moment the window first appears.
#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/window_description.h"
#include "tests/gui/program_driver.h"

namespace lorvane::test {
namespace {

struct FreeReply {
  void operator()(void* reply) const { std::free(reply); }
};
template <typename Reply>
using ReplyPointer = std::unique_ptr<Reply, FreeReply>;

xcb_connection_t* x_connection() {
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  return x11 == nullptr ? nullptr : x11->connection();
}

// The window's rectangle on the root window, in the display's pixels.
QRect root_rect(xcb_connection_t* connection, xcb_window_t window) {
  const ReplyPointer<xcb_get_geometry_reply_t> geometry(
      xcb_get_geometry_reply(connection, xcb_get_geometry(connection, window), nullptr));
  if (!geometry) return {};
  const ReplyPointer<xcb_translate_coordinates_reply_t> at(xcb_translate_coordinates_reply(
      connection, xcb_translate_coordinates(connection, window, geometry->root, 0, 0), nullptr));
  if (!at) return {};
  return QRect(at->dst_x - geometry->border_width, at->dst_y - geometry->border_width,
               geometry->width + 2 * geometry->border_width,
               geometry->height + 2 * geometry->border_width);
}

// The top-level X window that holds `window`: the manager's frame, or the
// window itself when no manager reparented it.
xcb_window_t outermost(xcb_connection_t* connection, xcb_window_t window) {
  for (;;) {
    const ReplyPointer<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(connection, xcb_query_tree(connection, window), nullptr));
    if (!tree || tree->parent == tree->root || tree->parent == XCB_WINDOW_NONE) return window;
    window = tree->parent;
  }
}

// What the X server shows of the main window: the outer rectangle (frame
// included) and the client's.
struct Placement {
  QRect outer;
  QRect client;
};

Placement placement(QWidget& window) {
  xcb_connection_t* connection = x_connection();
  const auto native = static_cast<xcb_window_t>(window.winId());
  return {root_rect(connection, outermost(connection, native)), root_rect(connection, native)};
}

// Set by the ctest entry that starts openbox beside the test.
bool window_manager_runs() {
  const char* name = std::getenv("LORVANE_TEST_WINDOW_MANAGER");
  return name != nullptr && *name != '\0';
}

// Counts the main window's resizes once it is on the screen.
class ResizeCounter : public QObject {
 public:
  int resizes = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Resize) ++resizes;
    return false;
  }
};

std::string text(const QRect& rect) {
  return std::to_string(rect.x()) + "," + std::to_string(rect.y()) + " " +
         std::to_string(rect.width()) + "x" + std::to_string(rect.height());
}

int device_pixels(qreal ratio, int pixels) { return qRound(pixels * ratio); }

using WindowFrameTest = ProgramTest;

TEST_F(WindowFrameTest, OuterSizeAndPositionAreTheDescriptionsFrameIncluded) {
  Placement first;
  Placement settled;
  QRect screen;
  qreal ratio = 1;
  ResizeCounter counter;
  run_program([&](QWidget& window) {
    ASSERT_EQ(QGuiApplication::platformName(), "xcb") << "this test needs an X server";
    ASSERT_NE(x_connection(), nullptr);
    window.installEventFilter(&counter);
    first = placement(window);
    // Anything the manager still had to do would show within this time.
    QTest::qWait(400);
    settled = placement(window);
    screen = window.screen()->geometry();
    ratio = window.devicePixelRatio();
    for (const ControlDescription& control : main_window.controls) {
      SCOPED_TRACE(control.name);
      QWidget* widget = control_widget(control.name);
      ASSERT_NE(widget, nullptr);
      EXPECT_EQ(widget->geometry(),
                QRect(control.left, control.top, control.width, control.height));
    }
  });
  const WindowPosition centre = centred_position(screen.width(), screen.height());
  // Rounding to whole display pixels may cost one at a fractional scale.
  const int slack = ratio == qRound(ratio) ? 0 : 1;
  SCOPED_TRACE(::testing::Message() << "scale " << ratio << ", outer " << text(settled.outer)
                                    << ", client " << text(settled.client));
  EXPECT_NEAR(settled.outer.x(), device_pixels(ratio, centre.left), slack);
  EXPECT_NEAR(settled.outer.y(), device_pixels(ratio, centre.top), slack);
  EXPECT_NEAR(settled.outer.width(), device_pixels(ratio, main_window.width), slack);
  EXPECT_NEAR(settled.outer.height(), device_pixels(ratio, main_window.height), slack);
  if (window_manager_runs()) {
    EXPECT_NE(settled.outer, settled.client) << "the window manager drew no frame";
  } else {
    EXPECT_EQ(settled.outer, settled.client);
  }
  // Appeared once, in place: as it was when it first became active.
  EXPECT_EQ(first.outer, settled.outer) << "the window moved after it was shown";
  EXPECT_EQ(first.client, settled.client);
  EXPECT_EQ(counter.resizes, 0) << "the window was resized after it was shown";
}

}  // namespace
}  // namespace lorvane::test
