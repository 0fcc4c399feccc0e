// SPDX-License-Identifier: GPL-3.0-or-later
// rivela-road: runs the application as rivela does and walks the doctor's road
// through its real widgets, or a fault table (--faults: sign-in and the case's details;
// --case-faults: the case's file), writing a screenshot of
// every stage. Exit status 0 only when every stage was reached.
//
//   rivela-road --standin PROGRAM --case DIR [--screens DIR] [--faults | --case-faults]
//       starts the stand-in as a child process and points a private copy of the
//       resources (configuration included) at it
//   rivela-road --service http://127.0.0.1:PORT [--screens DIR]
//       uses the stand-in already running there and the configuration beside rivela
#include "app/login/QVLoginController.h"
#include "app/main/AppStart.h"
#include "app/main/road/RoadFaults.h"
#include "app/main/road/RoadStages.h"
#include "app/service/QVHttpManager.h"
#include "app/service/QVNetworkAgent.h"
#include "app/service/RVHttpTransfer.h"
#include "app/shell/window/RivelaApp.h"
#include "core/base/QvProcessHeap.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// The demo account's password, as the stand-in has it.
const QString kDemoPassword = QString::fromUtf8("Pa55-\xe7\xa7\x98\xe5\xaf\x86");

QString BesideExecutable(const QString& name)
{
    const QString executable = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    return QFileInfo(executable).path() + QLatin1Char('/') + name;
}

bool CopyFolder(const QString& from, const QString& to)
{
    QDir().mkpath(to);
    QDirIterator it(from, QDir::Files | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString source = it.next();
        const QString target = QDir(to).filePath(QDir(from).relativeFilePath(source));
        QDir().mkpath(QFileInfo(target).path());
        if (QFileInfo(target).fileName() != QStringLiteral("Rivela.ini") && !QFile::copy(source, target))
            return false;
    }
    return true;
}

int Usage(const char* program)
{
    std::fprintf(stderr,
                 "usage: %s --standin PROGRAM --case DIR [--screens DIR] [--faults | --case-faults]\n"
                 "       %s --service http://127.0.0.1:PORT [--screens DIR]\n",
                 program, program);
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    qvbase::ConfigureProcessHeap(argv);
    QString standin, caseFolder, serviceBase, screens = QStringLiteral("screens");
    bool faults = false, caseFaults = false;
    for (int i = 1; i < argc; ++i) {
        const auto value = [&]() -> QString { return i + 1 < argc ? QString::fromLocal8Bit(argv[++i]) : QString(); };
        if (!std::strcmp(argv[i], "--standin"))
            standin = value();
        else if (!std::strcmp(argv[i], "--case"))
            caseFolder = value();
        else if (!std::strcmp(argv[i], "--service"))
            serviceBase = value();
        else if (!std::strcmp(argv[i], "--screens"))
            screens = value();
        else if (!std::strcmp(argv[i], "--faults"))
            faults = true;
        else if (!std::strcmp(argv[i], "--case-faults"))
            caseFaults = true;
        else
            return Usage(argv[0]);
    }
    if (serviceBase.isEmpty() == standin.isEmpty() || (!standin.isEmpty() && caseFolder.isEmpty()) ||
        ((faults || caseFaults) && standin.isEmpty()) || (faults && caseFaults))
        return Usage(argv[0]);

    road::Service service;
    QTemporaryDir own;
    QString resources; // empty: beside the executable, as rivela reads them
    if (!standin.isEmpty()) {
        if (!service.Spawn(standin, caseFolder)) {
            std::fprintf(stderr, "rivela-road: the stand-in did not start\n");
            return 1;
        }
        resources = own.filePath(QStringLiteral("resources"));
        if (!own.isValid() || !CopyFolder(BesideExecutable(QStringLiteral("resources")), resources) ||
            !road::WriteConfiguration(QDir(resources).filePath(QStringLiteral("Rivela.ini")), service.base(),
                                      {service.base()})) {
            std::fprintf(stderr, "rivela-road: cannot write the configuration\n");
            return 1;
        }
    } else {
        service.Attach(serviceBase);
        if (!QFileInfo::exists(BesideExecutable(QStringLiteral("resources/Rivela.ini")))) {
            std::fprintf(stderr, "rivela-road: no configuration beside the executable\n");
            return 1;
        }
    }
    std::printf("road: case service at %s\n", qPrintable(service.base()));

    // The start-up of rivela, step by step.
    rivela::PrepareProcess(resources);
    QApplication application(argc, argv);
    rivela::ConfigureApplication();
    rivela::RegisterSubsystems();

    if (faults || caseFaults) {
        // The hanging service's rows wait for the request's time-out: short ones in
        // place of the 15 s of the login and the 300 s of a transfer.
        QVHttpManager::setUp();
        QVNetworkAgent::sharedInstance().setTimeoutInterval(3);
        RVTimeouts().transferMs = 4000;
        road::FaultRun run{&service, resources, screens, kDemoPassword};
        const int failed = faults ? road::RunFaultTable(run) : road::RunCaseFileFaults(run);
        std::printf("faults: %d row(s) failed\n", failed);
        return failed == 0 ? 0 : 1;
    }

    road::RoadContext context;
    context.service = &service;
    context.password = kDemoPassword;
    road::Road road(screens);
    road::AddRoad(road, context);
    road.onDone = [](bool passed) {
        if (!passed) {
            QCoreApplication::exit(1);
            return;
        }
        // The doctor closes the login window: the application ends.
        QTimer::singleShot(0, [] {
            if (QWidget* login = road::VisibleTopLevel<QVLoginWindow>())
                login->close();
        });
    };
    road.start();
    RivelaApp delegate;
    if (delegate.applicationDidFinishLaunching() && !road.finished())
        (void)QApplication::exec();
    else if (!road.finished())
        std::fprintf(stderr, "road: the application ended before the road did\n");
    delegate.applicationWillTerminate();
    if (!road.passed())
        return 1;
    std::printf("road: screenshots in %s\n", qPrintable(QFileInfo(screens).absoluteFilePath()));
    return 0;
}
