#include "adapters/qt/QtShell.h"

#include <QDesktopServices>
#include <QString>
#include <QUrl>

namespace wren::platform {

bool QtShell::OpenPath(const std::string& path) {
  if (path.empty()) return false;
  return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
}

bool QtShell::OpenUrl(const std::string& url) {
  QUrl parsed(QString::fromStdString(url), QUrl::StrictMode);
  if (!parsed.isValid() || parsed.scheme().isEmpty()) return false;
  return QDesktopServices::openUrl(parsed);
}

}  // namespace wren::platform
