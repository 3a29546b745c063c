#include "gui/CHyperlinkLabel.h"

#include <QMouseEvent>
#include <QPalette>

#include "history/XmlDataFile.h"
#include "platform/Shell.h"

namespace wren::gui {

CHyperlinkLabel::CHyperlinkLabel(const QString& text, platform::Shell& opener, QWidget* parent)
    : QLabel(text, parent), m_opener(opener), m_target(kHomePageUrl) {
  // Only the underline is set here: face and size still come from the
  // dialog, and follow it when it changes.
  QFont underlined;
  underlined.setUnderline(true);
  setFont(underlined);
  QPalette colours = palette();
  colours.setColor(QPalette::WindowText, TextColor());
  setPalette(colours);
  setAutoFillBackground(false);
  setCursor(Qt::PointingHandCursor);
  setTextFormat(Qt::PlainText);
  setTextInteractionFlags(Qt::NoTextInteraction);
}

void CHyperlinkLabel::SetTarget(const std::string& target) { m_target = target; }

void CHyperlinkLabel::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    if (m_target.empty()) m_target = text().toStdString();
    // The desktop reports nothing useful on failure; a dead link stays quiet.
    m_opener.OpenUrl(m_target);
  }
  QLabel::mousePressEvent(event);
}

}  // namespace wren::gui
