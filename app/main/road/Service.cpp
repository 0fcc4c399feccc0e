// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/main/road/Service.h"

#include <QFile>
#include <QUrl>

#include <httplib.h>

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace road {

bool Service::Spawn(const QString& program, const QString& caseFolder)
{
    int out[2];
    if (pipe(out) != 0)
        return false;
    const QByteArray prog = program.toLocal8Bit();
    const QByteArray folder = caseFolder.toLocal8Bit();
    const pid_t child = fork();
    if (child < 0)
        return false;
    if (child == 0) {
        // The stand-in ends with us, however we end.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        execl(prog.constData(), prog.constData(), "--case", folder.constData(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    m_child = child;
    // The first line is the business domain.
    QByteArray line;
    pollfd p{out[0], POLLIN, 0};
    while (!line.contains('\n') && poll(&p, 1, 10000) > 0) {
        char buffer[256];
        const ssize_t n = read(out[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        line.append(buffer, n);
    }
    close(out[0]);
    const QString domain = QString::fromUtf8(line).trimmed();
    if (!domain.endsWith(QStringLiteral("/rvmds"))) {
        Stop();
        return false;
    }
    m_base = domain.chopped(6);
    return true;
}

void Service::Attach(const QString& base)
{
    m_base = base;
    while (m_base.endsWith(QLatin1Char('/')))
        m_base.chop(1);
}

void Service::Stop()
{
    if (m_child <= 0)
        return;
    kill(m_child, SIGTERM);
    int status = 0;
    waitpid(m_child, &status, 0);
    m_child = -1;
}

int Service::port() const
{
    return QUrl(m_base).port();
}

bool Service::Post(const QString& target)
{
    httplib::Client client("127.0.0.1", port());
    client.set_connection_timeout(2);
    client.set_read_timeout(5);
    const auto reply = client.Post(target.toStdString());
    return reply && reply->status == 200;
}

QStringList Service::Log() const
{
    httplib::Client client("127.0.0.1", port());
    client.set_connection_timeout(2);
    client.set_read_timeout(5);
    const auto reply = client.Get("/__control/log");
    if (!reply || reply->status != 200)
        return {};
    return QString::fromStdString(reply->body).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

bool Service::SetFault(const QString& path, const QString& kind, int times, const QByteArray& body)
{
    QString target = QStringLiteral("/__control/fault?path=") + QString::fromLatin1(QUrl::toPercentEncoding(path)) +
                     QStringLiteral("&kind=") + kind;
    if (times > 0)
        target += QStringLiteral("&times=%1").arg(times);
    if (!body.isEmpty())
        target += QStringLiteral("&type=application/octet-stream&body=") + QString::fromLatin1(body.toPercentEncoding());
    return Post(target);
}

bool Service::Reset()
{
    return Post(QStringLiteral("/__control/reset"));
}

QString DeadAddress()
{
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (s >= 0 && bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    if (s >= 0)
        close(s);
    return QStringLiteral("http://127.0.0.1:%1").arg(port);
}

bool WriteConfiguration(const QString& path, const QString& loginHost, const QStringList& discovery)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QByteArray text = "[Domain]\nUdcDomain=" + loginHost.toUtf8() + "\n[Login]\nAPIType=4\n";
    for (const QString& address : discovery)
        text += "MccAddress_4=" + address.toUtf8() + "\n";
    return file.write(text) == text.size();
}

} // namespace road
