// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/service/RVHttpTransfer.h"

#include "app/platform/CookieStorage.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <QThreadPool>
#include <QTimer>

#include <cstdio>

namespace {

QThreadPool& NetworkPool()
{
    // Never destroyed: a late transfer may still be winding down at exit.
    static QThreadPool* pool = [] {
        auto* p = new QThreadPool;
        p->setMaxThreadCount(64);
        return p;
    }();
    return *pool;
}

QString NameFromDisposition(const QByteArray& header)
{
    const QString text = QString::fromUtf8(header);
    static const QRegularExpression star(QStringLiteral("filename\\*\\s*=\\s*(?:UTF-8|utf-8)''([^;]+)"));
    if (const auto m = star.match(text); m.hasMatch())
        return QUrl::fromPercentEncoding(m.captured(1).trimmed().toUtf8());
    static const QRegularExpression quoted(QStringLiteral("filename\\s*=\\s*\"([^\"]*)\""));
    if (const auto m = quoted.match(text); m.hasMatch())
        return m.captured(1);
    static const QRegularExpression plain(QStringLiteral("filename\\s*=\\s*([^;]+)"));
    if (const auto m = plain.match(text); m.hasMatch())
        return m.captured(1).trimmed();
    return {};
}

} // namespace

RVNetworkTimeouts& RVTimeouts()
{
    static RVNetworkTimeouts timeouts;
    return timeouts;
}

QString RVSafeFileName(const QString& suggested, const QString& fallback)
{
    for (const QString& candidate : {suggested, fallback}) {
        QString name = candidate;
        name.replace(u'\\', u'/');
        name = name.section(u'/', -1);
        if (!name.isEmpty() && name != u"." && name != u"..")
            return name;
    }
    return QStringLiteral("download");
}

bool RVReplaceFile(const QString& from, const QString& to)
{
    if (std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0)
        return true;
    // Another file system: copy beside the target first, then rename over it.
    const QString part = to + QStringLiteral(".part");
    QFile::remove(part);
    const bool ok = QFile::copy(from, part) &&
                    std::rename(QFile::encodeName(part).constData(), QFile::encodeName(to).constData()) == 0;
    QFile::remove(part);
    QFile::remove(from);
    return ok;
}

void RVRunOnNetworkThread(std::function<void()> task)
{
    NetworkPool().start(std::move(task));
}

void RVWaitForNetworkThreads()
{
    NetworkPool().waitForDone();
}

RVHttpResponse RVPerformHttp(const RVHttpRequest& request)
{
    RVHttpResponse out;
    QNetworkAccessManager manager;
    platform::UseSharedCookies(manager);

    QNetworkRequest req(request.url);
    req.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    req.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    if (!request.contentType.isEmpty())
        req.setHeader(QNetworkRequest::ContentTypeHeader, request.contentType);
    for (const auto& [name, value] : request.headers)
        req.setRawHeader(name, value);

    std::unique_ptr<QTemporaryFile> file;
    if (!request.downloadFolder.isEmpty()) {
        if (QDir().mkpath(request.downloadFolder))
            file = std::make_unique<QTemporaryFile>(request.downloadFolder + QStringLiteral("/.download-XXXXXX"));
        if (!file || !file->open()) {
            out.error = QStringLiteral("cannot write into %1").arg(request.downloadFolder);
            return out;
        }
    }

    QNetworkReply* reply = nullptr;
    if (request.method == "GET")
        reply = manager.get(req);
    else
        reply = manager.sendCustomRequest(req, request.method, request.body);

    QEventLoop loop;
    bool writeFailed = false;
    qint64 received = 0;
    QObject::connect(reply, &QNetworkReply::readyRead, &loop, [&] {
        if (!reply->isOpen())
            return;
        const QByteArray chunk = reply->readAll();
        received += chunk.size();
        if (file) {
            if (file->write(chunk) != chunk.size() && !writeFailed) {
                writeFailed = true;
                reply->abort();
            }
        } else {
            out.body += chunk;
        }
    });
    const bool upload = request.method != "GET";
    if (request.progress) {
        if (upload)
            QObject::connect(reply, &QNetworkReply::uploadProgress, &loop,
                             [&](qint64 done, qint64 total) { request.progress(done, total); });
        else
            QObject::connect(reply, &QNetworkReply::downloadProgress, &loop,
                             [&](qint64 done, qint64 total) { request.progress(done, total); });
    }
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);

    bool timedOut = false;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, [&] {
        timedOut = true;
        reply->abort();
    });
    deadline.start(request.timeout);
    QTimer watch; // the caller may give up waiting
    if (request.cancelled) {
        QObject::connect(&watch, &QTimer::timeout, &loop, [&] {
            if (request.cancelled->load())
                reply->abort();
        });
        watch.start(20);
    }
    if (!reply->isFinished())
        loop.exec();
    deadline.stop();
    watch.stop();

    const QByteArray rest = reply->isOpen() ? reply->readAll() : QByteArray();
    received += rest.size();
    if (file)
        writeFailed = writeFailed || file->write(rest) != rest.size();
    else
        out.body += rest;

    out.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    out.contentType = reply->header(QNetworkRequest::ContentTypeHeader).toByteArray();
    out.headers = reply->rawHeaderPairs();
    const QUrl finalUrl = reply->url();
    out.suggestedName = RVSafeFileName(NameFromDisposition(reply->rawHeader("Content-Disposition")),
                                       finalUrl.path(QUrl::FullyDecoded));
    const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
    const bool shortBody = length.isValid() && length.toLongLong() != received;

    if (timedOut)
        out.error = QStringLiteral("timed out after %1 ms").arg(request.timeout.count());
    else if (request.cancelled && request.cancelled->load())
        out.error = QStringLiteral("cancelled");
    else if (writeFailed)
        out.error = QStringLiteral("cannot write the downloaded file");
    else if (reply->error() != QNetworkReply::NoError && out.status == 0)
        out.error = reply->errorString();
    else if (shortBody || (reply->error() != QNetworkReply::NoError && reply->error() < QNetworkReply::ContentAccessDenied))
        out.error = QStringLiteral("the reply ended before its body was complete");
    else
        out.transferred = true;
    if (!out.transferred || !out.ok())
        if (out.error.isEmpty())
            out.error = QStringLiteral("HTTP status %1").arg(out.status);
    delete reply;

    if (file) {
        if (out.ok() && file->flush()) {
            file->setAutoRemove(false);
            out.tempFile = file->fileName();
        } else if (out.ok()) {
            out.transferred = false;
            out.error = QStringLiteral("cannot write the downloaded file");
        }
        file->close();
    }
    return out;
}
