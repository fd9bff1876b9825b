// Korvo Timer: the only place where the real services are made and handed to the windows.

#include "clock/FrmMain.h"
#include "errors/ProjectName.h"
#include "errors/Trap.h"
#include "model/ClockModel.h"
#include "platform/ExitProcess.h"
#include "platform/HiTimer.h"
#include "platform/MessageBoxReporter.h"
#include "platform/MonotonicClock.h"
#include "platform/QtDialogs.h"
#include "platform/UdpSocket.h"
#include "settings/FrmSet.h"

#include <QApplication>

#include <chrono>

int main(int argc, char* argv[])
{
    using namespace korvo;

    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(errors::kProjectName));

    platform::SteadyClock steadyClock;
    platform::HiTimer timer(steadyClock, std::chrono::milliseconds(1000));
    platform::UdpSocket socket;
    platform::QtDialogs dialogs;
    platform::MessageBoxReporter reporter;
    platform::ExitProcess processEnd;
    errors::Trap trap(reporter, processEnd);
    model::ClockModel model;

    settings::FrmSet* frmSet = nullptr;
    clock::FrmMain frmMAIN({model, trap, timer, socket, dialogs, [&frmSet] { frmSet->showModal(); }});
    // A child of the main window, as the window it is opened from: it is placed over it and goes with it.
    frmSet = new settings::FrmSet({model, trap, socket, dialogs}, &frmMAIN);
    frmMAIN.Form_Initialize();
    frmMAIN.Form_Load();
    if (trap.ended())
        return 0;
    // Closing this window ends the program; no procedure runs on the way out.
    frmMAIN.show();
    return QApplication::exec();
}
