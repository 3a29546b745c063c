#pragma once
// "New Version Available!": the manifest's product, date, type,
// description and notes in a two-column list, and a Download button that
// hands the installer's address to the desktop.

#include <QDialog>
#include <QIcon>

#include <functional>
#include <string>

#include "core/update/UpdateCheck.h"

class QTreeWidget;
class QPushButton;

namespace wren::platform {
class HttpClient;
class Shell;
}  // namespace wren::platform

namespace wren::gui {

class CNewVersionDialog : public QDialog {
  Q_OBJECT

public:
  // The row pictures by device-strip index; rows go without pictures when
  // none is given.
  using ImageSource = std::function<QIcon(int index)>;

  CNewVersionDialog(const std::string& manifestText, platform::Shell& opener,
                    std::string installerUrl, ImageSource images = {}, QWidget* parent = nullptr);

  // The whole check from the window's command: while the manifest is
  // fetched the window keeps painting but takes no input; then the
  // outcome's message box, or this dialog when a newer version is offered.
  // Returns what the check found.
  static UpdateOutcome CheckForUpdates(QWidget* window, platform::HttpClient& http,
                                       platform::Shell& opener, const std::string& manifestUrl,
                                       const std::string& installerUrl, ImageSource images = {});

  QTreeWidget* List() const { return m_list; }
  QPushButton* DownloadButton() const { return m_download; }

protected:
  void showEvent(QShowEvent* event) override;

private:
  void OnDownload();
  void SizeColumns();

  platform::Shell& m_opener;
  std::string m_installerUrl;
  QTreeWidget* m_list = nullptr;
  QPushButton* m_download = nullptr;
};

}  // namespace wren::gui
