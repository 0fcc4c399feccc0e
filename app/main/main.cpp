// SPDX-License-Identifier: GPL-3.0-or-later
// The rivela executable.
#include "app/main/DesignWiring.h"
#include "app/main/LoginWiring.h"
#include "app/platform/Folders.h"
#include "app/shell/window/RivelaApp.h"

#include <QApplication>
#include <QFileInfo>
#include <QPalette>
#include <QProxyStyle>
#include <QStyleFactory>

#include <malloc.h>

namespace {

// Tool tips after 50 ms.
class RivelaStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override
    {
        if (hint == QStyle::SH_ToolTip_WakeUpDelay)
            return 50;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

} // namespace

int main(int argc, char** argv)
{
    // llvmpipe allocates and frees vertex storage on every draw; handing that memory
    // back to the system each time cost about 40 % of a frame.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 512 << 20);

    // Resources sit beside the executable; the configuration is read before the
    // application object exists.
    const QString executable = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    platform::SetResourceFolder(QFileInfo(executable).path() + QStringLiteral("/resources"));
    LoadIniSettings();
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Rivela"));
    QApplication::setApplicationName(QStringLiteral("Rivela"));
    // The light look whatever the desktop's theme.
    QApplication::setStyle(new RivelaStyle(QStyleFactory::create(QStringLiteral("Fusion"))));
    QApplication::setPalette(QApplication::style()->standardPalette());
    RegisterLoginWithShell();
    RegisterDesignWithShell();

    RivelaApp delegate;
    if (!delegate.applicationDidFinishLaunching())
        return 0;
    const int code = QApplication::exec();
    delegate.applicationWillTerminate();
    return code;
}
