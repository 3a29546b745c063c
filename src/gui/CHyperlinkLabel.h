#pragma once
// A text label that is a web link: the label's own font underlined, blue on
// the dialog's background, a pointing hand over it; a left click hands the
// target to the desktop's URL handler.

#include <QLabel>

#include <string>

namespace wren::platform {
class Shell;
}

namespace wren::gui {

class CHyperlinkLabel : public QLabel {
  Q_OBJECT

public:
  // The target starts as the product's home page.
  CHyperlinkLabel(const QString& text, platform::Shell& opener, QWidget* parent = nullptr);

  // A web address or "mailto:" and an e-mail address. An empty target
  // takes the label's text on the next click, and keeps it.
  void SetTarget(const std::string& target);
  const std::string& Target() const { return m_target; }

  // What the desktop is handed for a target: as it is when it names its
  // scheme, otherwise read as a web address.
  static std::string OpenableAddress(const std::string& target);

  static QColor TextColor() { return QColor(0, 0, 255); }

protected:
  void mousePressEvent(QMouseEvent* event) override;

private:
  platform::Shell& m_opener;
  std::string m_target;
};

}  // namespace wren::gui
