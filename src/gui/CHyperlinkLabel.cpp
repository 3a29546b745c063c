#include "gui/CHyperlinkLabel.h"

#include <QMouseEvent>
#include <QPalette>
#include <QUrl>

#include "core/datafile/XmlDataFile.h"
#include "ports/Shell.h"

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

std::string CHyperlinkLabel::OpenableAddress(const std::string& target) {
  const QString text = QString::fromStdString(target).trimmed();
  if (text.isEmpty() || QUrl(text).scheme().size() > 1) return target;
  return QUrl::fromUserInput(text).toString().toStdString();
}

void CHyperlinkLabel::SetTarget(const std::string& target) { m_target = target; }

void CHyperlinkLabel::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    if (m_target.empty()) m_target = text().toStdString();
    // A label may read "www.example.com": the browser still gets a web
    // address. The desktop reports nothing useful on failure; a dead link
    // stays quiet.
    m_opener.OpenUrl(OpenableAddress(m_target));
  }
  QLabel::mousePressEvent(event);
}

}  // namespace wren::gui
