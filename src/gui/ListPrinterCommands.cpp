#include "gui/ListPrinterCommands.h"

#include <QHeaderView>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>

#include "gui/ReportCommands.h"
#include "core/list/DeviceListModel.h"

namespace wren {

std::vector<int> DisplayOrderOf(const QHeaderView& header) {
  std::vector<int> order;
  for (int visual = 0; visual < header.count(); ++visual)
    order.push_back(header.logicalIndex(visual));
  return order;
}

ListPrintLook LookOf(const QHeaderView& header) {
  ListPrintLook look;
  for (int column = 0; column < header.count(); ++column)
    look.screenWidths.push_back(header.isSectionHidden(column) ? 0 : header.sectionSize(column));
  const QWidget* list = header.parentWidget() ? header.parentWidget() : &header;
  look.screenFont = list->font();
  return look;
}

bool PrintList(const DeviceListModel& model, const std::vector<int>& displayOrder,
               QPrinter& printer, std::string* error, const ListPrintLook& look) {
  std::string message;
  int from = 0;
  int to = 0;
  if (printer.printRange() == QPrinter::PageRange) {
    from = printer.fromPage();
    to = printer.toPage();
  }
  const bool done = PaintList(printer, model, displayOrder, look, message, from, to);
  if (error) *error = message;
  return done;
}

bool RunPrintCommand(QWidget* parent, QPrinter& printer, const DeviceListModel& model,
                     const std::vector<int>& displayOrder, const ListPrintLook& look,
                     MessagePort& messages) {
  QPrintDialog dialog(&printer, parent);
  dialog.setObjectName("printDialog");
  dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
  dialog.setOption(QAbstractPrintDialog::PrintPageRange, true);
  if (dialog.exec() != QDialog::Accepted) return false;
  std::string error;
  if (!PrintList(model, displayOrder, printer, &error, look)) {
    messages.ShowError("Print", error);
    return false;
  }
  return true;
}

bool RunPrintSetupCommand(QWidget* parent, QPrinter& printer) {
  QPageSetupDialog dialog(&printer, parent);
  dialog.setObjectName("pageSetupDialog");
  return dialog.exec() == QDialog::Accepted;
}

}  // namespace wren
