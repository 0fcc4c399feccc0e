// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/main/AppStart.h"

#include "app/caselist/RVCaseListWebController.h"
#include "app/login/QVAPIManager.h"
#include "app/main/DesignWiring.h"
#include "app/main/LoginWiring.h"
#include "app/platform/Folders.h"
#include "app/shell/IniFile.h"
#include "app/shell/window/RivelaApp.h"

#include <QApplication>
#include <QFileInfo>
#include <QPalette>
#include <QProxyStyle>
#include <QStyleFactory>

namespace rivela {
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

void PrepareProcess(const QString& resourceFolder)
{
    QString folder = resourceFolder;
    if (folder.isEmpty()) {
        const QString executable = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
        folder = QFileInfo(executable).path() + QStringLiteral("/resources");
    }
    platform::SetResourceFolder(folder);
    LoadIniSettings();
    // The case list's web view shares GL contexts with the widgets; this must be set
    // before the application object exists.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

void ApplyLoginConfiguration()
{
    int found = -1;
    const int type = IniFile::Instance().GetIntValue("Login", "APIType", &found);
    QVAPIManager::sharedManager().setAPIType(found == 0 ? quint64(type) : 1);
    QVAPIManager::sharedManager().loadAddressesFromConfiguration();
}

void ConfigureApplication()
{
    QApplication::setOrganizationName(QStringLiteral("Rivela"));
    QApplication::setApplicationName(QStringLiteral("Rivela"));
    // The light look whatever the desktop's theme.
    QApplication::setStyle(new RivelaStyle(QStyleFactory::create(QStringLiteral("Fusion"))));
    QApplication::setPalette(QApplication::style()->standardPalette());
}

void RegisterSubsystems()
{
    ApplyLoginConfiguration();
    RegisterLoginWithShell();
    RegisterCaseListWithShell();
    RegisterDesignWithShell();
}

} // namespace rivela
