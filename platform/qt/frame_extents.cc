#include "platform/qt/frame_extents.h"

#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QWindow>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>
#include <thread>
#include <vector>

namespace lorvane::platform::qt {

namespace {

struct FreeReply {
  void operator()(void* reply) const { std::free(reply); }
};
template <typename Reply>
using ReplyPointer = std::unique_ptr<Reply, FreeReply>;

xcb_atom_t atom(xcb_connection_t* connection, std::string_view name) {
  const ReplyPointer<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
      connection,
      xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(name.size()), name.data()),
      nullptr));
  return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

// The 32-bit items of a window property, up to `most` of them.
std::optional<std::vector<std::uint32_t>> cardinals(xcb_connection_t* connection,
                                                    xcb_window_t window, xcb_atom_t property,
                                                    xcb_atom_t type, std::uint32_t most) {
  const ReplyPointer<xcb_get_property_reply_t> reply(xcb_get_property_reply(
      connection, xcb_get_property(connection, 0, window, property, type, 0, most), nullptr));
  if (!reply || reply->format != 32 || reply->type != type) return std::nullopt;
  const auto* values = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
  const int count = xcb_get_property_value_length(reply.get()) / 4;
  return std::vector<std::uint32_t>(values, values + count);
}

xcb_window_t root_of(xcb_connection_t* connection, xcb_window_t window) {
  const ReplyPointer<xcb_query_tree_reply_t> tree(
      xcb_query_tree_reply(connection, xcb_query_tree(connection, window), nullptr));
  return tree ? tree->root : xcb_window_t{XCB_WINDOW_NONE};
}

// True when a window manager runs that lists _NET_REQUEST_FRAME_EXTENTS among
// what it supports; with none, nobody would answer the request.
bool manager_answers(xcb_connection_t* connection, xcb_window_t root, xcb_atom_t request) {
  const xcb_atom_t check = atom(connection, "_NET_SUPPORTING_WM_CHECK");
  const auto checked = cardinals(connection, root, check, XCB_ATOM_WINDOW, 1);
  if (!checked || checked->empty()) return false;
  // The check window names itself when the manager that set it still runs.
  const auto self = cardinals(connection, (*checked)[0], check, XCB_ATOM_WINDOW, 1);
  if (!self || self->empty() || (*self)[0] != (*checked)[0]) return false;
  const auto supported =
      cardinals(connection, root, atom(connection, "_NET_SUPPORTED"), XCB_ATOM_ATOM, 4096);
  if (!supported) return false;
  for (std::uint32_t item : *supported) {
    if (item == request) return true;
  }
  return false;
}

std::optional<QMargins> x11_frame_extents(QWindow& window) {
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  if (x11 == nullptr || x11->connection() == nullptr) return std::nullopt;
  xcb_connection_t* connection = x11->connection();
  const auto native = static_cast<xcb_window_t>(window.winId());
  const xcb_window_t root = root_of(connection, native);
  if (root == XCB_WINDOW_NONE) return std::nullopt;
  const xcb_atom_t request = atom(connection, "_NET_REQUEST_FRAME_EXTENTS");
  const xcb_atom_t extents = atom(connection, "_NET_FRAME_EXTENTS");
  if (request == XCB_ATOM_NONE || extents == XCB_ATOM_NONE) return std::nullopt;
  if (!manager_answers(connection, root, request)) return std::nullopt;

  xcb_client_message_event_t message;
  std::memset(&message, 0, sizeof message);
  message.response_type = XCB_CLIENT_MESSAGE;
  message.format = 32;
  message.window = native;
  message.type = request;
  xcb_send_event(connection, 0, root,
                 XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                 reinterpret_cast<const char*>(&message));
  xcb_flush(connection);

  // The manager answers by setting the property; Qt's own event reader takes
  // the notification, so the property is read until it is there. A manager
  // answers within milliseconds; one that never does costs a second.
  using namespace std::chrono;
  const auto give_up = steady_clock::now() + milliseconds(1000);
  for (;;) {
    const auto values = cardinals(connection, native, extents, XCB_ATOM_CARDINAL, 4);
    if (values && values->size() == 4) {
      // Left, right, top, bottom.
      return QMargins(static_cast<int>((*values)[0]), static_cast<int>((*values)[2]),
                      static_cast<int>((*values)[1]), static_cast<int>((*values)[3]));
    }
    if (steady_clock::now() >= give_up) return std::nullopt;
    std::this_thread::sleep_for(milliseconds(2));
  }
}

}  // namespace

std::optional<QMargins> window_manager_frame(QWindow& window) {
  if (QGuiApplication::platformName() != QLatin1String("xcb")) return std::nullopt;
  return x11_frame_extents(window);
}

}  // namespace lorvane::platform::qt
