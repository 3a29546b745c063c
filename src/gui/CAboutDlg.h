#pragma once
// The About box: a gradient banner along the top with the program icon,
// the product title and the maker's notice, and two links, the home page
// and a mail to technical support.

#include <QDialog>
#include <QIcon>

namespace wren::platform {
class Shell;
}

namespace wren::gui {

class CHyperlinkLabel;
class CSideBanner;

class CAboutDlg : public QDialog {
  Q_OBJECT

public:
  // `opener` opens the links (the desktop's URL handler in the program).
  explicit CAboutDlg(platform::Shell& opener, QWidget* parent = nullptr);

  // The banner's texts.
  static QString BannerTitle();
  static QString MakerNotice();
  // The program icon embedded in the binary, in every size it comes in.
  static QIcon ProgramIcon();

  CSideBanner* Banner() const { return m_banner; }
  CHyperlinkLabel* HomePageLink() const { return m_homePage; }
  CHyperlinkLabel* SupportLink() const { return m_support; }

  static constexpr int kBannerId = 65520;

private:
  CSideBanner* m_banner = nullptr;
  CHyperlinkLabel* m_homePage = nullptr;
  CHyperlinkLabel* m_support = nullptr;
};

}  // namespace wren::gui
