#pragma once
// Stand-in for the device image strip until the drawn one arrives: a
// distinct coloured 16x15 square per used index, nothing for 41 to 47.

#include <QIcon>

namespace wren::gui {

QIcon DeviceImage(int index);

}  // namespace wren::gui
