#pragma once
// Stand-in for the search-parameters dialog until the full one arrives:
// Run stores the settings as they are, Cancel stores nothing.

class QWidget;

namespace wren {
class SearchParamsModel;
}

namespace wren::gui {

// kDialogRun when the user pressed Run (settings stored), else kDialogCancel.
int ShowSearchDialog(QWidget* parent, SearchParamsModel& model);

}  // namespace wren::gui
