// wm_tool close WINDOW: asks a window to close as a window manager's close box does, with a
//   WM_DELETE_WINDOW message of the WM_PROTOCOLS kind.
// wm_tool icons WINDOW: prints the sizes of the window's icons (_NET_WM_ICON), such as
//   "32x32 16x16".
// WINDOW is the decimal id that xdotool prints. Exit status 0 on success.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

using DisplayPtr = std::unique_ptr<Display, decltype(&XCloseDisplay)>;

bool Close(Display* display, Window window) {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  const Status sent = XSendEvent(display, window, False, NoEventMask, &event);
  XSync(display, False);
  return sent != 0;
}

bool PrintIconSizes(Display* display, Window window) {
  Atom type = None;
  int format = 0;
  unsigned long count = 0;
  unsigned long after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(display, window, XInternAtom(display, "_NET_WM_ICON", False), 0,
                         1 << 20, False, XA_CARDINAL, &type, &format, &count, &after,
                         &data) != Success ||
      !data)
    return false;
  const std::unique_ptr<unsigned char, decltype(&XFree)> owned(data, XFree);
  // Format 32 items arrive as longs: width, height, then width * height pixels, per icon.
  const long* items = reinterpret_cast<const long*>(data);
  for (unsigned long i = 0; i + 2 <= count;) {
    const unsigned long width = static_cast<unsigned long>(items[i]);
    const unsigned long height = static_cast<unsigned long>(items[i + 1]);
    std::printf("%s%lux%lu", i ? " " : "", width, height);
    i += 2 + width * height;
  }
  std::printf("\n");
  return count > 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || (std::strcmp(argv[1], "close") != 0 && std::strcmp(argv[1], "icons") != 0)) {
    std::fprintf(stderr, "usage: wm_tool close|icons WINDOW\n");
    return 2;
  }
  const DisplayPtr display(XOpenDisplay(nullptr), XCloseDisplay);
  if (!display) {
    std::fprintf(stderr, "wm_tool: cannot open the display\n");
    return 1;
  }
  const Window window = std::strtoul(argv[2], nullptr, 10);
  const bool done = std::strcmp(argv[1], "close") == 0 ? Close(display.get(), window)
                                                        : PrintIconSizes(display.get(), window);
  return done ? 0 : 1;
}
