// SPDX-License-Identifier: GPL-3.0-or-later
// The rivela executable.
#include "app/main/AppStart.h"
#include "app/shell/window/RivelaApp.h"
#include "core/base/QvProcessHeap.h"

#include <QApplication>

int main(int argc, char** argv)
{
    qvbase::ConfigureProcessHeap(argv);
    rivela::PrepareProcess();
    QApplication application(argc, argv);
    rivela::ConfigureApplication();
    rivela::RegisterSubsystems();

    RivelaApp delegate;
    if (!delegate.applicationDidFinishLaunching())
        return 0;
    const int code = QApplication::exec();
    delegate.applicationWillTerminate();
    return code;
}
