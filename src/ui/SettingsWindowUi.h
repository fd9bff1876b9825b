#pragma once

#include <QFont>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QScrollBar;
class QTimer;
class QWidget;

namespace korvo::ui {

class PeriodGrid;
class SymbolButton;

/// The face of the settings window: MS Sans Serif 8.25 where installed, else a plain sans-serif.
[[nodiscard]] QFont settingsFont();

/// The widgets of the settings window with their names, captions, fonts, colours, places, tab order and
/// initial states. The procedures that bring them to life live in the settings library.
struct SettingsWindowUi
{
    QGroupBox* Frame1 = nullptr;
    QRadioButton* optPASS = nullptr;
    QLabel* lblPASS = nullptr;
    QRadioButton* optLEFT = nullptr;
    QLabel* lblLEFT = nullptr;

    QGroupBox* Frame2 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    /// At most 15 characters; refuses tabs and line breaks, typed or pasted.
    QLineEdit* txtPERIODLEGEND = nullptr;
    QLabel* Label3 = nullptr;
    /// Written by the program only.
    QLineEdit* txtPERIODTIME = nullptr;
    /// Value grows toward the lower arrow; 0 … 60.
    QScrollBar* vsTIMESEC = nullptr;
    /// Value grows toward the lower arrow; 0 … 99, so every time stays two-digit minutes.
    QScrollBar* vsTIMEMIN = nullptr;
    QCheckBox* chkASKME = nullptr;
    PeriodGrid* grdPERIOD = nullptr;
    QPushButton* cmdADD = nullptr;
    QPushButton* cmdREMOVE = nullptr;
    SymbolButton* cmdUP = nullptr;
    SymbolButton* cmdDOWN = nullptr;
    QPushButton* cmdSAVE = nullptr;
    QPushButton* cmdLOAD = nullptr;

    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCANCEL = nullptr;

    QGroupBox* Frame3 = nullptr;
    QLabel* Label4 = nullptr;
    /// Masked "999.999.999" with "_" for unfilled places: displayText() is always eleven characters.
    QLineEdit* txtIP = nullptr;
    QLabel* Label5 = nullptr;

    /// 999 ms, stopped until the window loads.
    QTimer* tmrLEFTdemo = nullptr;
    QTimer* tmrPASSdemo = nullptr;

    /// Builds every control as a descendant of window and gives the window its caption, client size,
    /// font and frame.
    void setupUi(QWidget* window);
};

} // namespace korvo::ui
