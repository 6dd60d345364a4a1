// A small X client that does to a window what a window manager does:
//
//   x-window-probe ping WINDOW   sends _NET_WM_PING every 100 ms until the
//                                window goes away (or 120 s pass), each time
//                                waiting for the answer; prints how many were
//                                answered and the slowest, and fails when one
//                                took longer than a second
//   x-window-probe close WINDOW  asks the window to close (WM_DELETE_WINDOW),
//                                as its title bar's close button does
//   x-window-probe pixel WINDOW X Y
//                                prints the colour at X,Y in the window as
//                                rrggbb: what the screen shows there
//   x-window-probe clipboard     prints the text on the clipboard (what a
//                                program's Ctrl+C put there)
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

// The colour of one pixel of the window, as the screen shows it.
int Pixel(xcb_connection_t* x, xcb_window_t window, int left, int top) {
  std::unique_ptr<xcb_get_image_reply_t, decltype(&std::free)> image(
      xcb_get_image_reply(x,
                          xcb_get_image(x, XCB_IMAGE_FORMAT_Z_PIXMAP, window, static_cast<std::int16_t>(left),
                                        static_cast<std::int16_t>(top), 1, 1, ~0u),
                          nullptr),
      &std::free);
  if (!image || xcb_get_image_data_length(image.get()) < 3) {
    std::fprintf(stderr, "x-window-probe: no pixel at %d,%d\n", left, top);
    return 1;
  }
  // 24 bits of depth in 32-bit pixels, blue first.
  const std::uint8_t* p = xcb_get_image_data(image.get());
  std::printf("%02x%02x%02x\n", p[2], p[1], p[0]);
  return 0;
}

// Asks the clipboard's owner for its text as UTF-8, on a window of our own.
int Clipboard(xcb_connection_t* x, const xcb_screen_t& screen) {
  const xcb_window_t own = xcb_generate_id(x);
  xcb_create_window(x, XCB_COPY_FROM_PARENT, own, screen.root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                    screen.root_visual, 0, nullptr);
  const xcb_atom_t into = Atom(x, "STB_PROBE_CLIPBOARD");
  xcb_convert_selection(x, own, Atom(x, "CLIPBOARD"), Atom(x, "UTF8_STRING"), into, XCB_CURRENT_TIME);
  xcb_flush(x);
  pollfd fd{xcb_get_file_descriptor(x), POLLIN, 0};
  const auto until = TClock::now() + std::chrono::seconds(3);
  bool converted = false;
  for (bool answered = false; !answered;) {
    while (xcb_generic_event_t* event = xcb_poll_for_event(x)) {
      if ((event->response_type & 0x7F) == XCB_SELECTION_NOTIFY) {
        answered = true;
        converted = reinterpret_cast<xcb_selection_notify_event_t*>(event)->property != XCB_ATOM_NONE;
      }
      std::free(event);
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - TClock::now()).count();
    if (answered) break;
    if (left <= 0 || xcb_connection_has_error(x)) {
      std::fprintf(stderr, "x-window-probe: nobody answered for the clipboard\n");
      return 1;
    }
    poll(&fd, 1, static_cast<int>(left));
  }
  if (!converted) {
    std::fprintf(stderr, "x-window-probe: the clipboard holds no text\n");
    return 1;
  }
  std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> text(
      xcb_get_property_reply(x, xcb_get_property(x, 1, own, into, XCB_GET_PROPERTY_TYPE_ANY, 0, 1 << 20),
                             nullptr),
      &std::free);
  if (!text) return 1;
  std::fwrite(xcb_get_property_value(text.get()), 1,
              static_cast<std::size_t>(xcb_get_property_value_length(text.get())), stdout);
  std::printf("\n");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  const bool known = ((command == "ping" || command == "close") && argc == 3) ||
                     (command == "pixel" && argc == 5) || (command == "clipboard" && argc == 2);
  if (!known) {
    std::fprintf(stderr, "usage: x-window-probe ping|close WINDOW | pixel WINDOW X Y | clipboard\n");
    return 2;
  }
  const auto window = argc > 2 ? static_cast<xcb_window_t>(std::strtoul(argv[2], nullptr, 0)) : 0;
  int screenNumber = 0;
  xcb_connection_t* x = xcb_connect(nullptr, &screenNumber);
  if (xcb_connection_has_error(x)) {
    std::fprintf(stderr, "x-window-probe: no X display\n");
    return 2;
  }
  xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(x));
  for (int i = 0; i < screenNumber; ++i) xcb_screen_next(&screens);
  int status = 0;
  if (command == "ping") {
    status = Ping(x, window, screens.data->root);
  } else if (command == "close") {
    SendProtocol(x, window, Atom(x, "WM_PROTOCOLS"), Atom(x, "WM_DELETE_WINDOW"), XCB_CURRENT_TIME);
  } else if (command == "pixel") {
    status = Pixel(x, window, std::atoi(argv[3]), std::atoi(argv[4]));
  } else {
    status = Clipboard(x, *screens.data);
  }
  xcb_disconnect(x);
  return status;
}
