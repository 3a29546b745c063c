#include "gui/PlaceholderSearchDialog.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "bluetooth/SearchSettings.h"

namespace wren::gui {

int ShowSearchDialog(QWidget* parent, SearchParamsModel& model) {
  QDialog dialog(parent);
  dialog.setObjectName("searchParamsDialog");
  dialog.setWindowTitle("Devices Search Parameters Dialog");
  SearchDialogFields fields = model.Open();
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(new QLabel(
      QString("Refresh every %1 s").arg(QString::fromStdString(fields.updateSpeed)), &dialog));
  auto* buttons = new QDialogButtonBox(&dialog);
  QPushButton* run = buttons->addButton("Run", QDialogButtonBox::AcceptRole);
  run->setObjectName("runButton");
  run->setDefault(true);
  buttons->addButton(QDialogButtonBox::Cancel)->setObjectName("cancelButton");
  layout->addWidget(buttons);
  int result = kDialogCancel;
  QObject::connect(run, &QPushButton::clicked, &dialog, [&] {
    if (model.Run(fields).result == kDialogRun) {
      result = kDialogRun;
      dialog.accept();
    }
  });
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  dialog.exec();
  return result;
}

}  // namespace wren::gui
