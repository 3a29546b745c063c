#include "gui/CNewVersionDialog.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QHeaderView>
#include <QPushButton>
#include <QShowEvent>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "ports/Shell.h"
#include "core/update/UpdateCheck.h"

namespace wren::gui {
namespace {

QString FromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

CNewVersionDialog::CNewVersionDialog(const std::string& manifestText, platform::Shell& opener,
                                     std::string installerUrl, ImageSource images, QWidget* parent)
    : QDialog(parent), m_opener(opener), m_installerUrl(std::move(installerUrl)) {
  setObjectName(QStringLiteral("newVersionDlg"));
  setWindowTitle(FromUtf8(kNewVersionTitle));

  m_list = new QTreeWidget(this);
  m_list->setObjectName(QStringLiteral("newVersionList"));
  m_list->setColumnCount(2);
  m_list->setHeaderLabels({QString(), FromUtf8(kVersionInfoTitle)});
  m_list->setRootIsDecorated(false);
  m_list->setItemsExpandable(false);
  m_list->setAllColumnsShowFocus(true);
  m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
  m_list->setUniformRowHeights(true);
  m_list->setWordWrap(false);
  m_list->setTextElideMode(Qt::ElideRight);
  m_list->setMinimumSize(420, 180);
  m_list->header()->setStretchLastSection(false);
  m_list->setStyleSheet(
      QStringLiteral("QTreeView::item { border-bottom: 1px solid palette(midlight);"
                     " border-right: 1px solid palette(midlight); }"));
  for (const VersionRow& row : BuildVersionRows(manifestText)) {
    auto* item = new QTreeWidgetItem(m_list, {FromUtf8(row.label), FromUtf8(row.text)});
    if (images) item->setIcon(0, images(row.image));
    // Long notes stay readable in full as a tip.
    item->setToolTip(1, FromUtf8(row.text));
  }

  m_download = new QPushButton(QStringLiteral("Download..."), this);
  m_download->setObjectName(QStringLiteral("newVersionDownload"));
  m_download->setAutoDefault(false);
  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("newVersionOk"));
  ok->setDefault(true);
  connect(m_download, &QPushButton::clicked, this, &CNewVersionDialog::OnDownload);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(m_download);
  buttons->addStretch(1);
  buttons->addWidget(ok);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_list, 1);
  layout->addLayout(buttons);
  SizeColumns();
}

UpdateOutcome CNewVersionDialog::CheckForUpdates(QWidget* window, platform::HttpClient& http,
                                                 platform::Shell& opener,
                                                 const std::string& manifestUrl,
                                                 const std::string& installerUrl,
                                                 ImageSource images) {
  QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  const UpdateCheckResult result = wren::CheckForUpdates(http, manifestUrl);
  QGuiApplication::restoreOverrideCursor();
  if (result.outcome == UpdateOutcome::NewVersion) {
    CNewVersionDialog dialog(result.manifestText, opener, installerUrl, std::move(images), window);
    dialog.exec();
  } else {
    QMessageBox box(
        result.outcome == UpdateOutcome::Failed ? QMessageBox::Warning : QMessageBox::Information,
        QStringLiteral("Wrenlocator"), FromUtf8(result.message), QMessageBox::Ok, window);
    box.setObjectName(QStringLiteral("updateMessage"));
    box.exec();
  }
  return result.outcome;
}

void CNewVersionDialog::OnDownload() {
  // The dialog stays open; a desktop that cannot open the address says
  // nothing, as before.
  m_opener.OpenUrl(m_installerUrl);
}

void CNewVersionDialog::SizeColumns() {
  // A quarter of the width for the names, the rest for the texts.
  const int width = m_list->viewport()->width();
  m_list->setColumnWidth(0, width / 4);
  m_list->setColumnWidth(1, 3 * (width / 4));
}

void CNewVersionDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  SizeColumns();
}

}  // namespace wren::gui
