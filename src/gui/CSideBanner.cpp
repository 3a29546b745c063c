#include "gui/CSideBanner.h"

#include <QEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QLayout>
#include <QLinearGradient>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>

#include <cmath>

namespace wren::gui {
namespace {

// A font's character height in pixels for a point size on this screen,
// rounded the way the desktop rounds it.
int PixelsForPoints(double points) {
  double dpi = 96.0;
  if (const QScreen* screen = QGuiApplication::primaryScreen()) dpi = screen->logicalDotsPerInchY();
  return static_cast<int>(std::lround(points * dpi / 72.0));
}

QFont BannerFont(bool bold, int pixels) {
  // Arial's metric-compatible free face.
  QFont font(QStringLiteral("Liberation Sans"));
  font.setStyleHint(QFont::SansSerif);
  font.setBold(bold);
  font.setPixelSize(pixels);
  return font;
}

}  // namespace

CSideBanner::CSideBanner(QWidget* owner) : QWidget(owner) {
  setObjectName(QStringLiteral("QvSideBanner"));
  // Nothing shows until the banner is attached.
  hide();
  // The band paints every pixel itself.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_NoSystemBackground);
  m_titlePitch = PixelsForPoints(11.0);
  m_captionPitch = PixelsForPoints(8.5);
  m_titleFont = BannerFont(true, m_titlePitch);
  m_captionFont = BannerFont(false, m_captionPitch);
  QFontMetrics metrics(m_captionFont);
  for (int c = 0; c < 256; ++c) m_advance[c] = metrics.horizontalAdvance(QChar(c));
}

CSideBanner::~CSideBanner() {
  if (m_parent != nullptr) m_parent->removeEventFilter(this);
}

bool CSideBanner::AttachToParent(QWidget* parent, int edge, int id) {
  if (parent == nullptr || parent == this) return false;
  if (edge != kEdgeLeft && edge != kEdgeTop && edge != kEdgeRight && edge != kEdgeBottom)
    return false;
  if (m_parent != nullptr) m_parent->removeEventFilter(this);
  m_parent = parent;
  m_edge = edge;
  m_id = id;

  const bool across = edge == kEdgeLeft || edge == kEdgeRight;
  const QSize grown = parent->size() + (across ? QSize(m_thickness, 0) : QSize(0, m_thickness));
  const QPoint shift = edge == kEdgeLeft  ? QPoint(m_thickness, 0)
                       : edge == kEdgeTop ? QPoint(0, m_thickness)
                                          : QPoint(0, 0);
  if (QLayout* layout = parent->layout()) {
    // A laid-out dialog keeps its controls in place through its margins.
    QMargins margins = layout->contentsMargins();
    if (edge == kEdgeLeft) margins.setLeft(margins.left() + m_thickness);
    if (edge == kEdgeTop) margins.setTop(margins.top() + m_thickness);
    if (edge == kEdgeRight) margins.setRight(margins.right() + m_thickness);
    if (edge == kEdgeBottom) margins.setBottom(margins.bottom() + m_thickness);
    layout->setContentsMargins(margins);
  } else {
    for (QObject* object : parent->children()) {
      auto* child = qobject_cast<QWidget*>(object);
      if (child == nullptr || child == this || child->isWindow()) continue;
      child->move(child->pos() + shift);
    }
  }
  // The dialog's corner stays; its far sides move out.
  if (parent->minimumSize() == parent->maximumSize())
    parent->setFixedSize(grown);
  else
    parent->resize(grown);

  if (parentWidget() != parent) setParent(parent);
  setGeometry(BandRect());
  parent->installEventFilter(this);
  show();
  raise();
  return true;
}

QRect CSideBanner::BandRect() const {
  if (m_parent == nullptr) return {};
  const QRect client = m_parent->rect();
  switch (m_edge) {
    case kEdgeLeft:
      return QRect(0, 0, m_thickness, client.height());
    case kEdgeTop:
      return QRect(0, 0, client.width(), m_thickness);
    case kEdgeRight:
      return QRect(client.width() - m_thickness, 0, m_thickness, client.height());
    case kEdgeBottom:
      return QRect(0, client.height() - m_thickness, client.width(), m_thickness);
    default:
      return {};
  }
}

bool CSideBanner::eventFilter(QObject* watched, QEvent* event) {
  // The band follows its edge when the dialog is resized later.
  if (watched == m_parent && event->type() == QEvent::Resize) setGeometry(BandRect());
  return QWidget::eventFilter(watched, event);
}

void CSideBanner::SetTitle(const QString& title) {
  m_title = title;
  update();
}

void CSideBanner::SetCaption(const QString& caption) {
  m_caption = caption;
  update();
}

void CSideBanner::SetFillStyle(int style) {
  m_fillStyle = style;
  update();
}

void CSideBanner::SetFirstColor(const QColor& color) { m_firstColor = color; }

void CSideBanner::SetSecondColor(const QColor& color) { m_secondColor = color; }

bool CSideBanner::SetIcon(const QPixmap& icon, int placement) {
  m_icon = icon;
  m_iconPlacement = placement;
  m_iconSize = icon.isNull() ? QSize(0, 0) : icon.deviceIndependentSize().toSize();
  if (!m_icon.isNull()) update();
  return !icon.isNull();
}

QSize CSideBanner::FlatSize() const {
  const QSize s = size();
  return (m_edge == kEdgeLeft || m_edge == kEdgeRight) ? s.transposed() : s;
}

int CSideBanner::Advance(QChar ch) const {
  if (ch.unicode() < 256) return m_advance[ch.unicode()];
  return QFontMetrics(m_captionFont).horizontalAdvance(ch);
}

CSideBanner::ContentLayout CSideBanner::Layout() const {
  return LayOut(QRect(QPoint(0, 0), FlatSize()));
}

CSideBanner::ContentLayout CSideBanner::LayOut(QRect rect) const {
  ContentLayout out;
  if (!m_icon.isNull()) {
    int x = rect.left();
    if (m_iconPlacement & kIconNearEnd) {
      x = rect.left() + m_titleOffset.x();
      rect.setLeft(x + m_iconSize.width());
    } else if (m_iconPlacement & kIconFarEnd) {
      x = rect.left() + rect.width() - m_titleOffset.x() - m_iconSize.width();
      rect.setRight(x - 1);
    }
    int y = rect.top();
    if (m_iconPlacement & kIconTop)
      y = rect.top() + 1;
    else if (m_iconPlacement & kIconCentred)
      y = rect.top() + rect.height() / 2 - m_iconSize.height() / 2;
    else if (m_iconPlacement & kIconBottom)
      y = rect.top() + rect.height() - m_iconSize.height() - 1;
    out.icon = QRect(QPoint(x, y), m_iconSize);
  }
  out.titleOrigin = rect.topLeft() + m_titleOffset;
  out.captionOrigin = out.titleOrigin + m_captionOffset + QPoint(0, m_titlePitch);

  // Wrapped by character: a line ends where the next character would pass
  // the right side, wherever that falls in a word.
  const int right = rect.left() + rect.width();
  int x = out.captionOrigin.x();
  int lines = 0;
  auto newLine = [&] {
    ++lines;
    x = out.captionOrigin.x();
  };
  for (QChar ch : m_caption) {
    if (ch == QLatin1Char('\r')) continue;
    if (ch == QLatin1Char('\n')) {
      newLine();
      continue;
    }
    const int w = Advance(ch);
    // A character wider than the whole line still goes on a line of its own.
    if (x > out.captionOrigin.x() && x + w > right) newLine();
    out.caption.push_back({ch, QPoint(x, out.captionOrigin.y() + m_captionPitch * lines)});
    x += w;
  }
  return out;
}

QImage CSideBanner::Render() const {
  QImage image(size(), QImage::Format_RGB32);
  if (image.isNull()) return image;
  QPainter painter(&image);
  const QRect rect(QPoint(0, 0), size());
  DrawBackground(painter, rect);
  DrawContent(painter, rect);
  return image;
}

void CSideBanner::paintEvent(QPaintEvent*) {
  if (m_edge == 0) return;
  const QImage image = Render();
  QPainter painter(this);
  painter.drawImage(0, 0, image);
}

void CSideBanner::DrawBackground(QPainter& painter, const QRect& rect) const {
  const bool gradient =
      (m_fillStyle & kFillGradient) && !(m_fillStyle & kFillSolid) && m_firstColor != m_secondColor;
  if (!gradient) {
    painter.fillRect(rect, m_firstColor);
  } else {
    // Colour stops on the first and last pixel centres, as a two-vertex
    // gradient has them.
    QLinearGradient fill;
    const QPointF left(rect.left() + 0.5, 0), right(rect.left() + rect.width() - 0.5, 0);
    const QPointF top(0, rect.top() + 0.5), bottom(0, rect.top() + rect.height() - 0.5);
    if (m_edge == kEdgeLeft) {
      fill = QLinearGradient(top, bottom);
      fill.setColorAt(0, m_secondColor);
      fill.setColorAt(1, m_firstColor);
    } else if (m_edge == kEdgeRight) {
      fill = QLinearGradient(top, bottom);
      fill.setColorAt(0, m_firstColor);
      fill.setColorAt(1, m_secondColor);
    } else {
      fill = QLinearGradient(left, right);
      fill.setColorAt(0, m_firstColor);
      fill.setColorAt(1, m_secondColor);
    }
    painter.fillRect(rect, fill);
  }
  DrawEdgeLine(painter, rect);
}

void CSideBanner::DrawEdgeLine(QPainter& painter, const QRect& rect) const {
  QRect line;
  switch (m_edge) {
    case kEdgeTop:
      line = QRect(rect.left(), rect.bottom(), rect.width(), 1);
      break;
    case kEdgeBottom:
      line = QRect(rect.left(), rect.top(), rect.width(), 1);
      break;
    case kEdgeLeft:
      line = QRect(rect.right(), rect.top(), 1, rect.height());
      break;
    case kEdgeRight:
      line = QRect(rect.left(), rect.top(), 1, rect.height());
      break;
    default:
      return;
  }
  painter.fillRect(line, m_edgeLineColor);
}

void CSideBanner::DrawIcon(QPainter& painter, const QRect& iconRect) const {
  painter.drawPixmap(iconRect, m_icon);
}

void CSideBanner::DrawContent(QPainter& painter, const QRect& rect) const {
  painter.save();
  painter.setClipRect(rect);
  // Left and right bands are laid out lying flat, then turned: the left
  // one reads upwards from the bottom, the right one downwards.
  QTransform turn;
  if (m_edge == kEdgeLeft) {
    turn.translate(rect.left(), rect.top() + rect.height());
    turn.rotate(-90);
  } else if (m_edge == kEdgeRight) {
    turn.translate(rect.left() + rect.width(), rect.top());
    turn.rotate(90);
  } else {
    turn.translate(rect.left(), rect.top());
  }
  const QSize flat =
      (m_edge == kEdgeLeft || m_edge == kEdgeRight) ? rect.size().transposed() : rect.size();
  const ContentLayout layout = LayOut(QRect(QPoint(0, 0), flat));

  // The icon stays upright on every edge.
  if (!layout.icon.isEmpty()) DrawIcon(painter, turn.mapRect(layout.icon));

  painter.setTransform(turn);
  painter.setBackgroundMode(Qt::TransparentMode);
  painter.setFont(m_titleFont);
  painter.setPen(m_titleColor);
  const QFontMetrics titleMetrics(m_titleFont);
  painter.drawText(layout.titleOrigin + QPoint(0, titleMetrics.ascent()), m_title);

  painter.setFont(m_captionFont);
  painter.setPen(m_captionColor);
  const int ascent = QFontMetrics(m_captionFont).ascent();
  for (const Glyph& glyph : layout.caption)
    painter.drawText(glyph.pos + QPoint(0, ascent), QString(glyph.ch));
  painter.restore();
}

}  // namespace wren::gui
