#pragma once
// Draws the printed device list with QPainter: the title band with its bar,
// the headings in bold, the rows, and the footer band with "Page %d of %d".
// The layout is ListPrinter's; this side creates the fonts for the device,
// measures them there and paints what the layout says.
//
// Only Qt Gui: the headless monitor writes its PDF export through the
// same code without any widget; the printer's side is the window's.

#include <QFont>

#include <string>
#include <vector>

class QIODevice;
class QPagedPaintDevice;

namespace wren {

class DeviceListModel;
class ListPrinter;

// How the list looks on screen, which the printout follows.
struct ListPrintLook {
  // The list's column widths in screen pixels, in creation order; empty:
  // the widths the list takes in a window kDefaultListWidth pixels wide.
  std::vector<int> screenWidths;
  // The list's font on screen; the printed widths scale from its average
  // character width. Default: the application's font.
  QFont screenFont;
  std::string leftTitle = "Wrenlocator";
  std::string rightTitle = "Wrenlocator";
};

inline constexpr int kDefaultListWidth = 800;

// Lays out a job of `rowCount` rows on `device` with fonts measured there,
// as PaintList does before it paints.
bool LayOutList(const QPagedPaintDevice& device, int rowCount, const std::vector<int>& displayOrder,
                const ListPrintLook& look, ListPrinter& layout, std::string& error);

// Paints pages `fromPage` to `toPage` (from 1; 0 for either end means the
// first or last page) of the list on `device`, its columns in
// `displayOrder` (creation indexes; empty: creation order). The device's
// painting starts and ends here. False with a message for the user when
// nothing could be printed: a page too small, a device that would not
// start painting.
bool PaintList(QPagedPaintDevice& device, const DeviceListModel& model,
               const std::vector<int>& displayOrder, const ListPrintLook& look, std::string& error,
               int fromPage = 0, int toPage = 0);

// The list as a PDF document at 600 dots per inch on the locale's paper
// (Letter where the US system of measures is in use, A4 elsewhere).
bool WriteListPdf(QIODevice& out, const DeviceListModel& model,
                  const std::vector<int>& displayOrder, std::string& error,
                  const ListPrintLook& look = {});
// The same into a file, written beside it and renamed into place.
bool WriteListPdf(const std::string& path, const DeviceListModel& model,
                  const std::vector<int>& displayOrder, std::string& error,
                  const ListPrintLook& look = {});

}  // namespace wren
