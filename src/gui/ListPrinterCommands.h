#pragma once
// The Print (Ctrl+P) and Print Setup commands of the list window: the print
// dialog, then the list printed as it is shown; the page-setup dialog on the
// window's printer, so that the next Print uses its paper and margins.

#include <string>
#include <vector>

#include "paint/ListPrinterPainter.h"

class QHeaderView;
class QPrinter;
class QWidget;

namespace wren {

class DeviceListModel;
class MessagePort;

// The creation indexes of the header's columns in display order.
std::vector<int> DisplayOrderOf(const QHeaderView& header);
// What the printout takes from the list on screen: its column widths (in
// creation order) and its font.
ListPrintLook LookOf(const QHeaderView& header);

// The Print command's job on a printer the print dialog set up: the page
// range the user chose, every page otherwise.
bool PrintList(const DeviceListModel& model, const std::vector<int>& displayOrder,
               QPrinter& printer, std::string* error = nullptr, const ListPrintLook& look = {});

// Shows the print dialog for `printer`; when the user confirms, prints the
// list and tells `messages` when it could not. True when the list was
// printed.
bool RunPrintCommand(QWidget* parent, QPrinter& printer, const DeviceListModel& model,
                     const std::vector<int>& displayOrder, const ListPrintLook& look,
                     MessagePort& messages);

// Shows the page-setup dialog for `printer`; true when the user confirmed.
bool RunPrintSetupCommand(QWidget* parent, QPrinter& printer);

}  // namespace wren
