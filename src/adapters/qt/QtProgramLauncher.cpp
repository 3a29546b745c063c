#include "adapters/qt/QtProgramLauncher.h"

#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

namespace wren::gui {

std::string QtProgramLauncher::FindProgram(const std::string& program) const {
  return QStandardPaths::findExecutable(QString::fromStdString(program)).toStdString();
}

bool QtProgramLauncher::StartDetached(const std::string& path,
                                      const std::vector<std::string>& args) {
  QStringList list;
  for (const auto& a : args) list << QString::fromStdString(a);
  return QProcess::startDetached(QString::fromStdString(path), list);
}

}  // namespace wren::gui
