#pragma once
// The device pictures shared by the list, its headers and every dialog that
// shows devices: 48 images of 16 x 15 cut from one strip, with a 2x strip
// for high-density screens. RGB(0,128,128) is the transparent colour;
// images 41 to 47 are empty.

#include <QIcon>
#include <QImage>
#include <QPixmap>

#include <vector>

namespace wren {

class DeviceImageStrip {
public:
  static constexpr int kCount = 48;
  static constexpr int kWidth = 16;
  static constexpr int kHeight = 15;
  // The strip's colour that stands for "no picture here".
  static constexpr QRgb kTransparentColour = 0xFF008080;

  // Cuts the strip embedded in the program.
  DeviceImageStrip();
  // Cuts the given strips (kCount images side by side); a 2x strip that is
  // null or not twice the size of the 1x strip is left unused.
  DeviceImageStrip(const QImage& strip, const QImage& strip2x);

  // The one strip every window uses, cut on first use.
  static const DeviceImageStrip& Shared();

  // False when the strip could not be read or has the wrong size; every
  // image is then an empty (fully transparent) picture.
  bool IsValid() const { return m_valid; }

  // Image `index` at the given device pixel ratio: the 2x picture (device
  // pixel ratio 2, same logical size) when the ratio is above 1 and a 2x
  // strip exists. A null pixmap for an index outside 0..kCount-1.
  QPixmap Pixmap(int index, qreal devicePixelRatio = 1.0) const;
  // Both sizes of image `index`, for item views and buttons; null outside
  // 0..kCount-1.
  QIcon Icon(int index) const;

  // The strip with every pixel of the transparent colour made see-through.
  static QImage ApplyTransparency(const QImage& strip);

private:
  void Cut(const QImage& strip, const QImage& strip2x);

  bool m_valid = false;
  std::vector<QPixmap> m_images;
  std::vector<QPixmap> m_images2x;
};

}  // namespace wren
