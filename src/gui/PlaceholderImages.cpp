#include "gui/PlaceholderImages.h"

#include <QColor>
#include <QPainter>
#include <QPixmap>

#include <array>

namespace wren::gui {

QIcon DeviceImage(int index) {
  static std::array<QIcon, 48> icons;
  if (index < 0 || index > 40) return {};
  QIcon& icon = icons[static_cast<std::size_t>(index)];
  if (icon.isNull()) {
    QPixmap pixmap(16, 15);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setBrush(QColor::fromHsv((index * 37) % 360, 160, 220));
    painter.setPen(Qt::darkGray);
    painter.drawRoundedRect(1, 1, 13, 12, 3, 3);
    icon = QIcon(pixmap);
  }
  return icon;
}

}  // namespace wren::gui
