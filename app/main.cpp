// Korvo Timer: the only place where the real services are made and handed to the windows.

#include "clock/FrmMain.h"
#include "clock/LastGame.h"
#include "errors/ProjectName.h"
#include "errors/Trap.h"
#include "model/ClockModel.h"
#include "platform/ExitProcess.h"
#include "platform/HiTimer.h"
#include "platform/JournalFile.h"
#include "platform/MessageBoxReporter.h"
#include "platform/MonotonicClock.h"
#include "platform/QtDialogs.h"
#include "platform/UdpSocket.h"
#include "settings/FrmSet.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTextStream>

#include <chrono>

int main(int argc, char* argv[])
{
    using namespace korvo;

    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(errors::kProjectName));
    QCommandLineParser options;
    options.addHelpOption();
    const QCommandLineOption resume(QStringLiteral("resume"),
                                    QStringLiteral("Offer the last game after a normal end too."));
    const QCommandLineOption noResume(QStringLiteral("no-resume"), QStringLiteral("Never offer the last game."));
    options.addOptions({resume, noResume});
    options.process(app);
    const clock::ResumeOffer offer = options.isSet(noResume) ? clock::ResumeOffer::Never
        : options.isSet(resume)                              ? clock::ResumeOffer::Always
                                                             : clock::ResumeOffer::IfUnfinished;
    platform::JournalFile journal(platform::JournalFile::defaultFolder());

    platform::SteadyClock steadyClock;
    platform::HiTimer timer(steadyClock, std::chrono::milliseconds(1000));
    platform::UdpSocket socket;
    platform::QtDialogs dialogs;
    platform::MessageBoxReporter reporter;
    platform::ExitProcess exitProcess;
    model::ClockModel model;
    // End and Abort end the process at once; the game is marked finished on the way.
    clock::FinishingEnd processEnd(journal, model, exitProcess);
    errors::Trap trap(reporter, processEnd);

    settings::FrmSet* frmSet = nullptr;
    clock::FrmMain frmMAIN({model, trap, timer, socket, dialogs, [&frmSet] { frmSet->showModal(); }, &journal});
    // A child of the main window, as the window it is opened from: it is placed over it and goes with it.
    frmSet = new settings::FrmSet({model, trap, socket, dialogs}, &frmMAIN);
    frmMAIN.Form_Initialize();
    QTextStream errorOutput(stderr);
    if (const auto game = clock::offerLastGame(journal, dialogs, offer, errorOutput))
        frmMAIN.setResumedGame(*game);
    frmMAIN.Form_Load();
    if (trap.ended())
        return 0;
    // Closing this window ends the program; no procedure runs on the way out.
    frmMAIN.show();
    const int status = QApplication::exec();
    clock::finishGame(journal, model);
    return status;
}
