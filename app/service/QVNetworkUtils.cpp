// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/service/QVNetworkUtils.h"

#include "app/shell/foundation/AESCrypt.h"

#include <QJsonParseError>
#include <QUuid>

QVUploadFile::QVUploadFile(QByteArray data_, QString name_, QString fileName_, QString mimeType_)
    : data(std::move(data_)), name(std::move(name_)), fileName(std::move(fileName_)), mimeType(std::move(mimeType_))
{
    if (fileName.isEmpty())
        fileName = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

namespace QVNetworkUtils {

std::optional<QJsonDocument> isValiableJSONWithData(const QByteArray& data, QVErrorOpt* error)
{
    if (data.isEmpty())
        return std::nullopt;
    QJsonParseError parseError;
    QJsonDocument json = QJsonDocument::fromJson(data, &parseError);
    if (parseError.error != QJsonParseError::NoError || json.isNull()) {
        if (error)
            *error = QVError{QStringLiteral("org.rivela.JSON"), 3840,
                             QStringLiteral("JSON text did not start with array or object or is malformed"),
                             QStringLiteral("The data couldn't be read because it isn't in the correct format. (%1 at %2)")
                                 .arg(parseError.errorString())
                                 .arg(parseError.offset)};
        return std::nullopt;
    }
    return json;
}

bool isAesKeyValiable(const std::optional<QString>& key)
{
    if (!key || key->isEmpty())
        return true;
    const qsizetype length = key->size();
    return length == 16 || length == 24 || length == 32;
}

std::optional<QString> AESDecode(const QByteArray& data, const QString& aesKey)
{
    if (data.isEmpty())
        return std::nullopt;
    auto text = AESCryptText::AES256DecryptWithKey(QString::fromUtf8(data), aesKey);
    if (!text)
        return std::nullopt;
    // The block padding (bytes 1 to 16) is left by the decryption; it is control text.
    qsizetype begin = 0;
    qsizetype end = text->size();
    while (begin < end && text->at(begin).category() == QChar::Other_Control)
        ++begin;
    while (end > begin && text->at(end - 1).category() == QChar::Other_Control)
        --end;
    return text->mid(begin, end - begin);
}

} // namespace QVNetworkUtils

namespace AESCryptText {

namespace {
std::optional<QString> Base64Of(const std::optional<QByteArray>& bytes)
{
    if (!bytes)
        return std::nullopt;
    return foundation::Base64Encoding(*bytes);
}
std::optional<QString> Utf8Of(const std::optional<QByteArray>& bytes)
{
    if (!bytes)
        return std::nullopt;
    return QString::fromUtf8(*bytes);
}
} // namespace

std::optional<QString> AES256EncryptWithKey(const QString& text, const QString& key)
{
    return Base64Of(foundation::AES256EncryptWithKey(text.toUtf8(), key));
}

std::optional<QString> AES256DecryptWithKey(const QString& base64, const QString& key)
{
    return Utf8Of(foundation::AES256DecryptWithKey(foundation::DataWithBase64EncodedString(base64), key));
}

std::optional<QString> AES128EncryptWithKey1(const QString& text, const QString& key)
{
    return Base64Of(foundation::AES128EncryptWithKey(text.toUtf8(), key));
}

std::optional<QString> AES128EncryptWithKey(const QString& text, const QString& key)
{
    auto cipher = foundation::AES128EncryptWithKey(text.toUtf8(), key);
    if (!cipher || cipher->size() < 16)
        return std::nullopt;
    return foundation::Base64Encoding(cipher->left(16));
}

std::optional<QString> AES128DecryptWithKey(const QString& base64, const QString& key)
{
    return Utf8Of(foundation::AES128DecryptWithKey(foundation::DataWithBase64EncodedString(base64), key));
}

} // namespace AESCryptText
