// SPDX-License-Identifier: GPL-3.0-or-later
// korvel-splitter [FILE]: the window, with FILE routed as if it had been dropped on it (a list
// file, a piece of a set or the first file of a numbered set opens the merge panel, any other
// file the split panel). korvel-splitter --split FILE: the split panel with FILE, whatever it
// is, as the file manager's "split" action asks.
#include <QApplication>
#include <QFileInfo>
#include <QSessionManager>

#include "Form1.h"
#include "StopSignals.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    platform::SetUpApplication(app);
    platform::DesktopPlatform desktop;
    // Made before the window so that it outlives it: the window's logic, going, waits for the
    // engine to stop and remove its temporary files, and a second signal must not cut that short.
    const StopSignals stopSignals;
    Form1 form(desktop);
    // The end of the session, or a signal to end, stops a running split or merge unasked.
    QObject::connect(&stopSignals, &StopSignals::StopRequested, &form, &Form1::Form_Terminate);
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &form,
                     [&form](QSessionManager&) { form.Form_Terminate(); });
    // What Qt leaves of the command line once it has taken its own options.
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() > 2 && arguments.at(1) == QStringLiteral("--split")) {
        form.Form_OpenFileToSplit(QFileInfo(arguments.at(2)).absoluteFilePath());
    } else if (arguments.size() > 1) {
        form.Form_OpenFile(QFileInfo(arguments.at(1)).absoluteFilePath());
    }
    form.show();
    return app.exec();
}
