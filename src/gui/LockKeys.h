#pragma once
// The caps, num and scroll lock state, where the display server tells it
// (X11's keyboard extension). Elsewhere the state is unknown.

#include <optional>

namespace wren::gui {

struct LockKeyState {
  bool caps = false;
  bool num = false;
  bool scroll = false;
};

std::optional<LockKeyState> ReadLockKeys();

}  // namespace wren::gui
