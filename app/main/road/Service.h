// SPDX-License-Identifier: GPL-3.0-or-later
// The case service the road talks to: the stand-in as a child process on a free
// loopback port (or one already running), its fault control, and the configuration
// file that points the application at it.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <sys/types.h>

namespace road {

class Service {
public:
    // Starts "PROGRAM --case CASEDIR" and reads its business domain; false when it
    // does not start or print one within a few seconds.
    bool Spawn(const QString& program, const QString& caseFolder);
    // Talks to a stand-in someone else started ("http://127.0.0.1:PORT").
    void Attach(const QString& base);
    // Stops the child (nothing for an attached stand-in).
    void Stop();
    ~Service() { Stop(); }

    // "http://127.0.0.1:PORT" and its port.
    QString base() const { return m_base; }
    int port() const;
    // The business domain of the case service: base + "/rvmds".
    QString domain() const { return m_base + QStringLiteral("/rvmds"); }

    // POST /__control/fault (see the stand-in for kinds; body: the reply's bytes for
    // the kind "body"); false when refused.
    bool SetFault(const QString& path, const QString& kind, int times = -1, const QByteArray& body = {});
    // The requests the stand-in answered since its last reset ("GET /path?query").
    QStringList Log() const;
    bool Reset();

private:
    bool Post(const QString& target);

    QString m_base;
    pid_t m_child = -1;
};

// A free loopback address that refuses connections (a port bound and released).
QString DeadAddress();

// Writes the application's configuration file: the login service in the development
// environment (plain HTTP) at the discovery addresses in order of fail-over, and the
// login host.
bool WriteConfiguration(const QString& path, const QString& loginHost, const QStringList& discovery);

} // namespace road
