// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/platform/PropertyList.h"
#include "app/service/QVNetworkAgent.h"
#include "app/service/QVNetworkUtils.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonDocument>
#include <QLocale>
#include <QSysInfo>
#include <QUuid>

namespace {

// Form fields: unreserved characters plus "/" and "?" stay, everything else is escaped.
QByteArray FormEscaped(const QString& text)
{
    return QUrl::toPercentEncoding(text, "/?");
}

QByteArray FormValue(const QVariant& value)
{
    if (value.typeId() == QMetaType::Bool)
        return value.toBool() ? "1" : "0";
    return FormEscaped(value.toString());
}

void AppendPairs(QList<QByteArray>& pairs, const QString& key, const QVariant& value)
{
    if (value.typeId() == QMetaType::QVariantMap) {
        const QVariantMap map = value.toMap();
        for (auto it = map.begin(); it != map.end(); ++it)
            AppendPairs(pairs, key.isEmpty() ? it.key() : key + '[' + it.key() + ']', it.value());
    } else if (value.typeId() == QMetaType::QVariantList || value.typeId() == QMetaType::QStringList) {
        for (const QVariant& element : value.toList())
            AppendPairs(pairs, key + QStringLiteral("[]"), element);
    } else if (!value.isValid() || value.isNull()) {
        pairs.append(FormEscaped(key));
    } else {
        pairs.append(FormEscaped(key) + '=' + FormValue(value));
    }
}

QString AcceptLanguage()
{
    QStringList languages;
    const QStringList preferred = QLocale::system().uiLanguages();
    for (qsizetype i = 0; i < preferred.size() && i < 6; ++i) {
        const double q = 1.0 - 0.1 * double(i);
        languages.append(QString::asprintf("%s;q=%0.1g", preferred[i].toUtf8().constData(), q));
    }
    return languages.join(QStringLiteral(", "));
}

QString UserAgent()
{
    const QString executable = QCoreApplication::instance()
                                   ? QFileInfo(QCoreApplication::applicationFilePath()).fileName()
                                   : QStringLiteral("rivela");
    return QStringLiteral("%1/%2 (Linux %3)")
        .arg(executable, QCoreApplication::applicationVersion(), QSysInfo::productVersion());
}

QVError BadURL(const QString& url)
{
    return QVError{kQVURLErrorDomain, kQVURLErrorBadURL, QStringLiteral("unsupported URL"),
                   QStringLiteral("unsupported URL: %1").arg(url)};
}

std::optional<QUrl> ParseURL(const QString& urlText, QVError* error)
{
    QUrl url(urlText, QUrl::TolerantMode);
    if (urlText.isEmpty() || !url.isValid() || url.isRelative()) {
        if (error)
            *error = BadURL(urlText);
        return std::nullopt;
    }
    return url;
}

} // namespace

QVRequestSerializer::QVRequestSerializer(int type) : m_type(type)
{
    setValueForHTTPHeaderField(AcceptLanguage(), QStringLiteral("Accept-Language"));
    setValueForHTTPHeaderField(UserAgent(), QStringLiteral("User-Agent"));
    if (type == 1)
        setValueForHTTPHeaderField(QStringLiteral("application/json;charset=utf-8"), QStringLiteral("Content-Type"));
    else if (type == 2)
        setValueForHTTPHeaderField(QStringLiteral("application/x-plist;charset=utf-8"), QStringLiteral("Content-Type"));
}

void QVRequestSerializer::setValueForHTTPHeaderField(const QString& value, const QString& field)
{
    const QByteArray name = field.toUtf8();
    m_headers.removeIf([&](const auto& header) { return header.first.compare(name, Qt::CaseInsensitive) == 0; });
    if (!value.isNull())
        m_headers.append({name, value.toUtf8()});
}

QString QVRequestSerializer::valueForHTTPHeaderField(const QString& field) const
{
    for (const auto& [name, value] : m_headers)
        if (name.compare(field.toUtf8(), Qt::CaseInsensitive) == 0)
            return QString::fromUtf8(value);
    return {};
}

void QVRequestSerializer::setAuthorizationHeaderFieldWithUsername(const QString& user, const QString& password)
{
    const QByteArray credentials = (user + ':' + password).toUtf8().toBase64();
    setValueForHTTPHeaderField(QStringLiteral("Basic ") + QString::fromLatin1(credentials),
                               QStringLiteral("Authorization"));
}

QByteArray QVRequestSerializer::queryStringFromParameters(const QVariantMap& parameters)
{
    QList<QByteArray> pairs;
    AppendPairs(pairs, {}, parameters);
    return pairs.join('&');
}

std::optional<QVURLRequest> QVRequestSerializer::requestWithMethod(const QString& method, const QString& urlText,
                                                                   const QVariantMap& parameters,
                                                                   QVError* error) const
{
    auto url = ParseURL(urlText, error);
    if (!url)
        return std::nullopt;
    QVURLRequest request;
    request.method = method;
    request.headers = m_headers;
    request.timeoutInterval = timeoutInterval;
    if (parameters.isEmpty()) {
        request.url = *url;
        return request;
    }
    if (method == QLatin1String("GET") || method == QLatin1String("HEAD") || method == QLatin1String("DELETE")) {
        const QByteArray query = queryStringFromParameters(parameters);
        QByteArray encoded = url->toEncoded();
        encoded += (url->hasQuery() ? '&' : '?') + query;
        request.url = QUrl::fromEncoded(encoded, QUrl::StrictMode);
        return request;
    }
    request.url = *url;
    switch (m_type) {
    case 0:
        request.body = queryStringFromParameters(parameters);
        if (request.header("Content-Type").isEmpty())
            request.setHeader("Content-Type", "application/x-www-form-urlencoded");
        break;
    case 1:
        request.body = QJsonDocument::fromVariant(parameters).toJson(QJsonDocument::Compact);
        break;
    default:
        request.body = platform::WritePropertyList(parameters);
        break;
    }
    return request;
}

std::optional<QVURLRequest> QVRequestSerializer::multipartFormRequestWithMethod(
    const QString& method, const QString& urlText, const QVariantMap& parameters,
    const std::vector<QVUploadFile>& files, QVError* error) const
{
    auto url = ParseURL(urlText, error);
    if (!url)
        return std::nullopt;
    const QByteArray boundary = "Boundary+" + QUuid::createUuid().toByteArray(QUuid::Id128).toUpper().left(16);
    QByteArray body;
    const auto partHead = [&](const QByteArray& disposition, const QByteArray& type) {
        body += "--" + boundary + "\r\n";
        body += "Content-Disposition: form-data; " + disposition + "\r\n";
        if (!type.isEmpty())
            body += "Content-Type: " + type + "\r\n";
        body += "\r\n";
    };
    QList<QByteArray> pairs;
    AppendPairs(pairs, {}, parameters);
    for (const QByteArray& pair : pairs) {
        const qsizetype equals = pair.indexOf('=');
        const QByteArray name = QByteArray::fromPercentEncoding(equals < 0 ? pair : pair.left(equals));
        const QByteArray value = equals < 0 ? QByteArray() : QByteArray::fromPercentEncoding(pair.mid(equals + 1));
        partHead("name=\"" + name + "\"", {});
        body += value + "\r\n";
    }
    for (const QVUploadFile& file : files) {
        partHead("name=\"" + file.name.toUtf8() + "\"; filename=\"" + file.fileName.toUtf8() + "\"",
                 file.mimeType.toUtf8());
        body += file.data + "\r\n";
    }
    body += "--" + boundary + "--\r\n";

    QVURLRequest request;
    request.url = *url;
    request.method = method;
    request.headers = m_headers;
    request.timeoutInterval = timeoutInterval;
    request.setHeader("Content-Type", "multipart/form-data; boundary=" + boundary);
    request.body = body;
    return request;
}
