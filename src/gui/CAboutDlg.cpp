#include "gui/CAboutDlg.h"

#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstdio>

#include "gui/CHyperlinkLabel.h"
#include "gui/CSideBanner.h"
#include "core/datafile/XmlDataFile.h"
#include "base/ProgramVersion.h"

// The icon lives in this library's resources, which a static library
// must register itself.
static void RegisterProgramIcon() { Q_INIT_RESOURCE(programicon); }

namespace wren::gui {
namespace {

// The home page as a reader would type it: no scheme, no campaign keys.
QString ShownAddress(std::string_view url) {
  QString text = QString::fromUtf8(url.data(), static_cast<qsizetype>(url.size()));
  const qsizetype query = text.indexOf(QLatin1Char('?'));
  if (query >= 0) text.truncate(query);
  if (text.startsWith(QLatin1String("http://"))) text.remove(0, 7);
  if (text.startsWith(QLatin1String("https://"))) text.remove(0, 8);
  if (text.endsWith(QLatin1Char('/'))) text.chop(1);
  return text;
}

}  // namespace

QString CAboutDlg::BannerTitle() {
  const ProgramVersion own;
  char text[96];
  std::snprintf(text, sizeof text, "Wireless Private Area Network Auditor Version %u.%u.%u.%u",
                static_cast<unsigned>(own.major), static_cast<unsigned>(own.minor),
                static_cast<unsigned>(own.build), static_cast<unsigned>(own.revision));
  return QString::fromLatin1(text);
}

QString CAboutDlg::MakerNotice() {
  return QStringLiteral("Copyright (C) Pelmark LLC. All rights reserved.");
}

QIcon CAboutDlg::ProgramIcon() {
  static const bool registered = (RegisterProgramIcon(), true);
  (void)registered;
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128, 256})
    icon.addFile(QStringLiteral(":/icons/%1/wrenlocator.png").arg(size), QSize(size, size));
  return icon;
}

CAboutDlg::CAboutDlg(platform::Shell& opener, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("aboutDlg"));
  setWindowTitle(QStringLiteral("About Wrenlocator"));
  setWindowIcon(ProgramIcon());
  m_banner = new CSideBanner(this);
  m_banner->setObjectName(QStringLiteral("aboutBanner"));

  auto* product = new QLabel(
      QStringLiteral("Wrenlocator %1").arg(QString::fromStdString(ProgramVersion().ToString())),
      this);
  product->setObjectName(QStringLiteral("aboutProduct"));
  auto* infoLabel = new QLabel(QStringLiteral("Application Info:"), this);
  infoLabel->setObjectName(QStringLiteral("aboutInfoLabel"));
  m_homePage = new CHyperlinkLabel(ShownAddress(kHomePageUrl), opener, this);
  m_homePage->setObjectName(QStringLiteral("aboutHomePageLink"));
  m_homePage->SetTarget(std::string(kHomePageUrl));
  auto* supportLabel = new QLabel(QStringLiteral("Technical Support:"), this);
  supportLabel->setObjectName(QStringLiteral("aboutSupportLabel"));
  m_support = new CHyperlinkLabel(
      QString::fromUtf8(kSupportMail.data(), static_cast<qsizetype>(kSupportMail.size())), opener,
      this);
  m_support->setObjectName(QStringLiteral("aboutSupportLink"));
  m_support->SetTarget("mailto:" + std::string(kSupportMail));

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  buttons->setObjectName(QStringLiteral("aboutButtons"));
  buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("aboutOk"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

  auto* links = new QGridLayout;
  links->setHorizontalSpacing(12);
  links->addWidget(infoLabel, 0, 0);
  links->addWidget(m_homePage, 0, 1);
  links->addWidget(supportLabel, 1, 0);
  links->addWidget(m_support, 1, 1);
  links->setColumnStretch(1, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(product);
  layout->addSpacing(6);
  layout->addLayout(links);
  layout->addSpacing(6);
  layout->addWidget(buttons);
  // Wide enough for the banner's title beside the icon, which never wraps.
  const QMargins margins = layout->contentsMargins();
  product->setMinimumWidth(QFontMetrics(m_banner->TitleFont()).horizontalAdvance(BannerTitle()) +
                           5 + 32 + 5 + 5 + 12 - margins.left() - margins.right());
  // The box keeps the size its content needs, banner included.
  layout->setSizeConstraint(QLayout::SetFixedSize);
  layout->activate();

  // The banner, in the order the About box has always set it up.
  m_banner->AttachToParent(this, CSideBanner::kEdgeTop, kBannerId);
  m_banner->SetFirstColor(palette().color(QPalette::Button));
  m_banner->SetSecondColor(QColor(138, 223, 255));
  m_banner->SetFirstColor(QColor(204, 254, 255));
  m_banner->SetIcon(ProgramIcon().pixmap(QSize(32, 32), 1.0),
                    CSideBanner::kIconNearEnd | CSideBanner::kIconCentred);
  m_banner->SetTitle(BannerTitle());
  m_banner->SetCaption(MakerNotice());
  m_banner->SetFillStyle(CSideBanner::kFillGradient);
}

}  // namespace wren::gui
