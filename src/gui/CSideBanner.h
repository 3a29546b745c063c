#pragma once
// A band along one edge of a dialog: attaching it makes the dialog larger
// by the band's thickness and moves the dialog's controls so that they keep
// their places; the band shows a solid or gradient fill, an icon, a bold
// title and a smaller caption wrapped by character.

#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QWidget>

#include <vector>

class QImage;
class QPainter;

namespace wren::gui {

class CSideBanner : public QWidget {
  Q_OBJECT

public:
  // Edges.
  static constexpr int kEdgeLeft = 1;
  static constexpr int kEdgeTop = 2;
  static constexpr int kEdgeRight = 4;
  static constexpr int kEdgeBottom = 8;
  // Fill styles.
  static constexpr int kFillSolid = 1;
  static constexpr int kFillGradient = 2;
  // Icon placement: along the band (near or far end), and across it.
  static constexpr int kIconNearEnd = 1;
  static constexpr int kIconFarEnd = 2;
  static constexpr int kIconCentred = 4;
  static constexpr int kIconTop = 8;
  static constexpr int kIconBottom = 16;

  explicit CSideBanner(QWidget* owner = nullptr);
  ~CSideBanner() override;

  // Grows `parent` by the thickness on `edge`, moves its controls and takes
  // the new band. False, changing nothing, without a parent or for an edge
  // that is not one of the four.
  bool AttachToParent(QWidget* parent, int edge, int id);

  void SetTitle(const QString& title);
  void SetCaption(const QString& caption);
  void SetFillStyle(int style);
  // Kept for the next paint.
  void SetFirstColor(const QColor& color);
  void SetSecondColor(const QColor& color);
  // The banner keeps its own copy of the image, so the caller's icon stays
  // usable. False for an empty image (the placement is still kept).
  bool SetIcon(const QPixmap& icon, int placement);

  int Thickness() const { return m_thickness; }
  int Edge() const { return m_edge; }
  int ControlId() const { return m_id; }
  int FillStyle() const { return m_fillStyle; }
  QColor FirstColor() const { return m_firstColor; }
  QColor SecondColor() const { return m_secondColor; }
  QString Title() const { return m_title; }
  QString Caption() const { return m_caption; }
  QSize IconSize() const { return m_iconSize; }
  const QFont& TitleFont() const { return m_titleFont; }
  const QFont& CaptionFont() const { return m_captionFont; }
  // Line pitches: the fonts' character heights in pixels.
  int TitlePitch() const { return m_titlePitch; }
  int CaptionPitch() const { return m_captionPitch; }

  // Where the content goes, in the band's own reading direction (for the
  // left and right edges the band is laid out as if turned to lie flat).
  struct Glyph {
    QChar ch;
    QPoint pos;  // top-left of the character cell
  };
  struct ContentLayout {
    QRect icon;          // empty without an icon
    QPoint titleOrigin;  // top-left of the title line
    QPoint captionOrigin;
    std::vector<Glyph> caption;
  };
  ContentLayout Layout() const;

  // The band as painted: drawn off screen, then copied in one piece.
  QImage Render() const;

protected:
  virtual void DrawBackground(QPainter& painter, const QRect& rect) const;
  virtual void DrawContent(QPainter& painter, const QRect& rect) const;
  virtual void DrawEdgeLine(QPainter& painter, const QRect& rect) const;
  virtual void DrawIcon(QPainter& painter, const QRect& iconRect) const;

  void paintEvent(QPaintEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  QRect BandRect() const;
  // The band's size in its reading direction.
  QSize FlatSize() const;
  ContentLayout LayOut(QRect rect) const;
  int Advance(QChar ch) const;

  QPointer<QWidget> m_parent;
  int m_thickness = 50;
  int m_edge = 0;
  int m_id = 0;
  int m_fillStyle = kFillGradient;
  int m_iconPlacement = kIconFarEnd;
  QString m_title = QStringLiteral("Title");
  QString m_caption = QStringLiteral("Caption...");
  QPixmap m_icon;
  QSize m_iconSize{0, 0};
  QPoint m_titleOffset{5, 3};
  QPoint m_captionOffset{4, 10};
  QFont m_titleFont;
  QFont m_captionFont;
  int m_titlePitch = 0;
  int m_captionPitch = 0;
  int m_advance[256] = {};
  QColor m_firstColor{255, 255, 255};
  QColor m_secondColor{128, 128, 192};
  QColor m_edgeLineColor{0, 0, 0};
  QColor m_titleColor{0, 0, 0};
  QColor m_captionColor{0, 0, 0};
};

}  // namespace wren::gui
