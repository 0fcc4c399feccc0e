// SPDX-License-Identifier: GPL-3.0-or-later
// The main of every application test program: one QApplication for all tests, with
// the user's folders (settings, data, caches, downloads) moved into a temporary
// folder so that no test touches the real ones.
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QTemporaryDir home;
    if (!home.isValid())
        return 2;
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_DOWNLOAD_DIR",
                             "XDG_DOCUMENTS_DIR", "XDG_RUNTIME_DIR"}) {
        const QString folder = home.filePath(QString::fromLatin1(name).toLower());
        QDir().mkpath(folder);
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv(name, QFile::encodeName(folder));
    }
    QApplication app(argc, argv);
    QApplication::setOrganizationName("Rivela");
    QApplication::setApplicationName("Rivela");
    return RUN_ALL_TESTS();
}
