#include "gui/LockKeys.h"

#include <QGuiApplication>

#if __has_include(<X11/XKBlib.h>) && defined(WREN_HAVE_X11)
#include <X11/XKBlib.h>
#define WREN_LOCKS_FROM_X11 1
#endif

namespace wren::gui {

std::optional<LockKeyState> ReadLockKeys() {
#ifdef WREN_LOCKS_FROM_X11
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  if (!x11 || !x11->display()) return std::nullopt;
  Display* display = x11->display();
  // By the indicators' names, whatever order the keymap gives them.
  auto on = [display](const char* name, bool& known) {
    Bool state = False;
    const Atom atom = XInternAtom(display, name, True);
    if (atom == None || !XkbGetNamedIndicator(display, atom, nullptr, &state, nullptr, nullptr))
      return false;
    known = true;
    return state != False;
  };
  bool known = false;
  LockKeyState locks{on("Caps Lock", known), on("Num Lock", known), on("Scroll Lock", known)};
  if (!known) return std::nullopt;
  return locks;
#else
  return std::nullopt;
#endif
}

}  // namespace wren::gui
