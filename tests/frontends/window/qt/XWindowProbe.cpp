// A small X client that does to a window what a window manager does:
//
//   x-window-probe ping WINDOW   sends _NET_WM_PING every 100 ms until the
//                                window goes away (or 120 s pass), each time
//                                waiting for the answer; prints how many were
//                                answered and the slowest, and fails when one
//                                took longer than a second
//   x-window-probe close WINDOW  asks the window to close (WM_DELETE_WINDOW),
//                                as its title bar's close button does
//
// WINDOW as xdotool prints it (decimal) or 0x-prefixed.
#include <poll.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

using TClock = std::chrono::steady_clock;
constexpr auto kAnswerBound = std::chrono::milliseconds(1000);

xcb_atom_t Atom(xcb_connection_t* x, const char* name) {
  const auto cookie = xcb_intern_atom(x, 0, static_cast<std::uint16_t>(std::strlen(name)), name);
  std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
      xcb_intern_atom_reply(x, cookie, nullptr), &std::free);
  return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

bool WindowExists(xcb_connection_t* x, xcb_window_t window) {
  std::unique_ptr<xcb_get_window_attributes_reply_t, decltype(&std::free)> reply(
      xcb_get_window_attributes_reply(x, xcb_get_window_attributes(x, window), nullptr), &std::free);
  return reply != nullptr;
}

void SendProtocol(xcb_connection_t* x, xcb_window_t window, xcb_atom_t protocols, xcb_atom_t which,
                  std::uint32_t stamp) {
  xcb_client_message_event_t event{};
  event.response_type = XCB_CLIENT_MESSAGE;
  event.format = 32;
  event.window = window;
  event.type = protocols;
  event.data.data32[0] = which;
  event.data.data32[1] = stamp;
  event.data.data32[2] = window;
  xcb_send_event(x, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&event));
  xcb_flush(x);
}

// Waits for the answer to the ping stamped `stamp`: the same message, sent
// back to the root window.
bool WaitForAnswer(xcb_connection_t* x, xcb_atom_t ping, std::uint32_t stamp, TClock::time_point until) {
  pollfd fd{xcb_get_file_descriptor(x), POLLIN, 0};
  for (;;) {
    while (xcb_generic_event_t* event = xcb_poll_for_event(x)) {
      const bool answer = (event->response_type & 0x7F) == XCB_CLIENT_MESSAGE &&
                          reinterpret_cast<xcb_client_message_event_t*>(event)->data.data32[0] == ping &&
                          reinterpret_cast<xcb_client_message_event_t*>(event)->data.data32[1] == stamp;
      std::free(event);
      if (answer) return true;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - TClock::now()).count();
    if (left <= 0 || xcb_connection_has_error(x)) return false;
    poll(&fd, 1, static_cast<int>(left));
  }
}

int Ping(xcb_connection_t* x, xcb_window_t window, xcb_window_t root) {
  // Toolkits send the answer to the root window with one notify mask or the
  // other; a window manager would hear both.
  const std::uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
  xcb_change_window_attributes(x, root, XCB_CW_EVENT_MASK, &mask);
  const xcb_atom_t protocols = Atom(x, "WM_PROTOCOLS");
  const xcb_atom_t ping = Atom(x, "_NET_WM_PING");
  const auto end = TClock::now() + std::chrono::seconds(120);
  long answered = 0;
  TClock::duration slowest{};
  for (std::uint32_t stamp = 1; TClock::now() < end; ++stamp) {
    const auto sent = TClock::now();
    SendProtocol(x, window, protocols, ping, stamp);
    const bool answer = WaitForAnswer(x, ping, stamp, sent + kAnswerBound);
    if (!WindowExists(x, window)) break;  // gone: the program ended
    const auto took = TClock::now() - sent;
    if (!answer) {
      std::printf("ping %u not answered within %lld ms (%ld answered before)\n", stamp,
                  static_cast<long long>(kAnswerBound.count()), answered);
      return 1;
    }
    ++answered;
    if (took > slowest) slowest = took;
    poll(nullptr, 0, 100);
  }
  std::printf("%ld pings answered, the slowest in %lld ms\n", answered,
              static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(slowest).count()));
  return answered > 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || (std::strcmp(argv[1], "ping") != 0 && std::strcmp(argv[1], "close") != 0)) {
    std::fprintf(stderr, "usage: x-window-probe ping|close WINDOW\n");
    return 2;
  }
  const auto window = static_cast<xcb_window_t>(std::strtoul(argv[2], nullptr, 0));
  int screenNumber = 0;
  xcb_connection_t* x = xcb_connect(nullptr, &screenNumber);
  if (xcb_connection_has_error(x)) {
    std::fprintf(stderr, "x-window-probe: no X display\n");
    return 2;
  }
  xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(x));
  for (int i = 0; i < screenNumber; ++i) xcb_screen_next(&screens);
  int status = 0;
  if (std::strcmp(argv[1], "ping") == 0) {
    status = Ping(x, window, screens.data->root);
  } else {
    SendProtocol(x, window, Atom(x, "WM_PROTOCOLS"), Atom(x, "WM_DELETE_WINDOW"), XCB_CURRENT_TIME);
  }
  xcb_disconnect(x);
  return status;
}
