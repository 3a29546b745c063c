#include "gui/DeviceImageStrip.h"

#include <QColor>

// The strip lives in a static library: its resources must be registered by
// hand, outside any namespace.
static void RegisterDeviceStripResource() { Q_INIT_RESOURCE(devicestrip); }

namespace wren {
namespace {

QImage LoadEmbedded(const char* path) {
  RegisterDeviceStripResource();
  return QImage(QString::fromLatin1(path));
}

QPixmap EmptyImage(int scale) {
  QImage blank(DeviceImageStrip::kWidth * scale, DeviceImageStrip::kHeight * scale,
               QImage::Format_ARGB32_Premultiplied);
  blank.fill(Qt::transparent);
  QPixmap pixmap = QPixmap::fromImage(blank);
  pixmap.setDevicePixelRatio(scale);
  return pixmap;
}

}  // namespace

DeviceImageStrip::DeviceImageStrip()
    : DeviceImageStrip(LoadEmbedded(":/devicestrip/strip.png"),
                       LoadEmbedded(":/devicestrip/strip@2x.png")) {}

DeviceImageStrip::DeviceImageStrip(const QImage& strip, const QImage& strip2x) {
  Cut(strip, strip2x);
}

const DeviceImageStrip& DeviceImageStrip::Shared() {
  static const DeviceImageStrip strip;
  return strip;
}

QImage DeviceImageStrip::ApplyTransparency(const QImage& strip) {
  QImage out = strip.convertToFormat(QImage::Format_ARGB32);
  const QRgb key = kTransparentColour & RGB_MASK;
  for (int y = 0; y < out.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
    for (int x = 0; x < out.width(); ++x) {
      if ((line[x] & RGB_MASK) == key) line[x] = 0;
    }
  }
  return out;
}

void DeviceImageStrip::Cut(const QImage& strip, const QImage& strip2x) {
  m_images.assign(kCount, EmptyImage(1));
  m_images2x.clear();
  m_valid = !strip.isNull() && strip.width() == kWidth * kCount && strip.height() == kHeight;
  if (!m_valid) return;

  const QImage clear = ApplyTransparency(strip);
  for (int i = 0; i < kCount; ++i)
    m_images[i] = QPixmap::fromImage(clear.copy(i * kWidth, 0, kWidth, kHeight));

  if (strip2x.isNull() || strip2x.size() != strip.size() * 2) return;
  const QImage clear2x = ApplyTransparency(strip2x);
  m_images2x.reserve(kCount);
  for (int i = 0; i < kCount; ++i) {
    QPixmap big = QPixmap::fromImage(clear2x.copy(i * kWidth * 2, 0, kWidth * 2, kHeight * 2));
    big.setDevicePixelRatio(2.0);
    m_images2x.push_back(big);
  }
}

QPixmap DeviceImageStrip::Pixmap(int index, qreal devicePixelRatio) const {
  if (index < 0 || index >= kCount) return {};
  if (devicePixelRatio > 1.0 && !m_images2x.empty()) return m_images2x[index];
  return m_images[index];
}

QIcon DeviceImageStrip::Icon(int index) const {
  if (index < 0 || index >= kCount) return {};
  QIcon icon(m_images[index]);
  if (!m_images2x.empty()) icon.addPixmap(m_images2x[index]);
  return icon;
}

}  // namespace wren
