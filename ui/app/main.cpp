// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>

#include "Form1.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    platform::SetUpApplication(app);
    platform::DesktopPlatform desktop;
    Form1 form(desktop);
    form.show();
    return app.exec();
}
