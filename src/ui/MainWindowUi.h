#pragma once

#include <QFont>

class QAction;
class QLabel;
class QMenu;
class QWidget;

namespace korvo::ui {

class SymbolButton;

/// The face that stands in for Arial Black: that font where it is installed, else a heavy sans-serif.
[[nodiscard]] QFont heavyFont(qreal pointSize);

/// The widgets of the main clock window, with their names, captions, fonts, colours, places, tab order
/// and initial states. Procedures live elsewhere; this only builds the window as it looks before any runs.
struct MainWindowUi
{
    QLabel* lblTIME = nullptr;
    QLabel* lblPERIOD = nullptr;
    QLabel* lblEND = nullptr;   ///< over the clock text; hidden until a period runs out
    QLabel* lblPAUSE = nullptr; ///< over the clock text; hidden for good
    SymbolButton* cmdSETTING = nullptr;
    SymbolButton* cmdRESET = nullptr;
    SymbolButton* cmdSTART = nullptr;
    SymbolButton* cmdPREVPERIOD = nullptr;
    SymbolButton* cmdPAUSE = nullptr;
    SymbolButton* cmdNEXTPERIOD = nullptr;
    SymbolButton* cmd1UP = nullptr;
    SymbolButton* cmd1DW = nullptr;
    SymbolButton* cmd10UP = nullptr;
    SymbolButton* cmd10DW = nullptr;
    /// The Reset pop-up; never part of a menu bar.
    QMenu* mnRESET = nullptr;
    QAction* mnRESETYES = nullptr;
    QAction* mnRESETNO = nullptr;

    /// Builds every control as a child of window, and gives the window its caption, fixed client size
    /// and its fixed place on the screen.
    void setupUi(QWidget* window);
};

} // namespace korvo::ui
