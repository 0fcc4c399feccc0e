// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/shell/QvUtilityObj.h"

#include "app/platform/Alerts.h"
#include "app/platform/Clock.h"
#include "app/platform/Folders.h"
#include "app/shell/IniFile.h"
#include "app/shell/foundation/Digest.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QSysInfo>

namespace {

QString RivelaFolderIn(const QString& parent)
{
    if (parent.isEmpty())
        return {};
    return platform::EnsureFolder(QDir(parent).filePath(QStringLiteral("Rivela")));
}

// Leading blanks, an optional sign and digits, like a number read from the start of a text.
bool LeadingInteger(const QString& text, qlonglong* value)
{
    static const QRegularExpression number(QStringLiteral("^\\s*([+-]?\\d+)"));
    const auto match = number.match(text);
    if (!match.hasMatch())
        return false;
    bool ok = false;
    *value = match.captured(1).toLongLong(&ok);
    return ok;
}

} // namespace

QString QvUtilityObj::getTempFolder()
{
    return RivelaFolderIn(platform::TemporaryFolder());
}

QString QvUtilityObj::getAppCacheFolder()
{
    return RivelaFolderIn(platform::CachesFolder());
}

QString QvUtilityObj::getAppDownloadFolder()
{
    return platform::DownloadsFolder();
}

QString QvUtilityObj::getResourcePath()
{
    return platform::ResourceFolder();
}

QString QvUtilityObj::getAttachmentPath()
{
    return platform::PathForResource(QStringLiteral("Attachment"), QStringLiteral("bundle"));
}

QString QvUtilityObj::getBKTPath()
{
    return platform::PathForResource(QStringLiteral("BKT"), QStringLiteral("bundle"));
}

QString QvUtilityObj::getCaseImagesZipFile(const QString& name)
{
    return getAppDownloadFolder() + QLatin1Char('/') + name + QStringLiteral(".zip");
}

QString QvUtilityObj::md5(const QString& text)
{
    QByteArray bytes = text.toUtf8();
    const qsizetype zero = bytes.indexOf('\0');
    if (zero >= 0)
        bytes.truncate(zero);
    return foundation::Md5Hex(bytes);
}

QString QvUtilityObj::getCurrentTimes()
{
    return platform::CurrentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString QvUtilityObj::getCurrentDate()
{
    return platform::CurrentDateTime().toString(QStringLiteral("yyyyMMdd"));
}

QString QvUtilityObj::getSystemVersion()
{
    // Debian gives "12"; the missing parts count as 0.
    const QStringList parts = QSysInfo::productVersion().split(QLatin1Char('.'));
    long numbers[3] = {0, 0, 0};
    for (int i = 0; i < 3 && i < parts.size(); ++i)
        numbers[i] = parts[i].toLong();
    return QStringLiteral("%1.%2.%3").arg(numbers[0]).arg(numbers[1]).arg(numbers[2]);
}

bool QvUtilityObj::isNetworkRequestSuccess(const QVariant& value)
{
    qlonglong code = 0;
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Short:
    case QMetaType::UShort:
        code = value.toLongLong();
        break;
    case QMetaType::Double:
    case QMetaType::Float:
        code = static_cast<qlonglong>(value.toDouble());
        break;
    case QMetaType::QString:
    case QMetaType::QByteArray:
        if (!LeadingInteger(value.toString(), &code))
            return false;
        break;
    default:
        return false; // nothing, booleans and containers have no status code
    }
    return code >= 200 && code <= 299;
}

bool QvUtilityObj::isValidJSONString(const QString& text)
{
    QJsonParseError error{};
    QJsonDocument::fromJson(text.toUtf8(), &error);
    return error.error == QJsonParseError::NoError;
}

void QvUtilityObj::showAlertWithMessage(const QString& message)
{
    platform::ShowMessage(message);
}

void QvUtilityObj::showAlertWithError(const QString& message)
{
    platform::ShowError(message);
}

void QvUtilityObj::showAlertInWindow(QWidget* window, const QString& message)
{
    platform::ShowSheet(window, message, {QStringLiteral("确定")});
}

bool QvUtilityObj::showAlertQuestionWithInfo(const QString& question)
{
    return platform::AskQuestion(question);
}

QVariantMap QvUtilityObj::getDownloadCaseImageParameters(const QVariant& caseNo, const QVariant& phaseNo,
                                                         const QVariant& casePhaseId)
{
    return {{QStringLiteral("sizeType"), 3},       {QStringLiteral("isDynamic"), 1},
            {QStringLiteral("itemCode"), 0},       {QStringLiteral("filePosition"), 0},
            {QStringLiteral("caseNo"), caseNo},    {QStringLiteral("phaseNo"), phaseNo},
            {QStringLiteral("casePhaseId"), casePhaseId}};
}

QVariantMap QvUtilityObj::getDownloadFileParameters(const QVariant& caseNo, const QVariant& phaseNo,
                                                    qint32 actionType)
{
    return {{QStringLiteral("fileType"), actionType},
            {QStringLiteral("caseNo"), caseNo},
            {QStringLiteral("phaseNo"), phaseNo}};
}

QString QvUtilityObj::getURLWith(const QString& key)
{
    const std::string value = IniFile::Instance().GetValue("Url", key.toStdString());
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder.decode(QByteArrayView(value.data(), static_cast<qsizetype>(value.size())));
    if (decoder.hasError())
        return {};
    return text.isNull() ? QString(QLatin1String("")) : text;
}

void QvUtilityObj::resetDomain(const QString& domain)
{
    IniFile& ini = IniFile::Instance();
    const std::string d = domain.toStdString();
    ini.SetValue("domain", "BVSTDomain", d, "");
    ini.SetBusinessDomain(d);
    ini.BuildBusinessUrls();
}
