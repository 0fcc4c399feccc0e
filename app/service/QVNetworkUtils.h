// SPDX-License-Identifier: GPL-3.0-or-later
// Pieces of the decoding requests: the upload part, model classes, the JSON check,
// the AES key check and the decoding of AES-protected replies.
#pragma once

#include "app/service/QVNetworkTypes.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

// One file part of a multipart upload.
class QVUploadFile {
public:
    // An empty file name becomes a fresh upper-case UUID text.
    QVUploadFile(QByteArray data, QString name, QString fileName, QString mimeType);
    static QVUploadFile uploadFileWithData(QByteArray data, QString name, QString fileName, QString mimeType)
    {
        return QVUploadFile(std::move(data), std::move(name), std::move(fileName), std::move(mimeType));
    }

    QByteArray data;
    QString name;
    QString fileName;
    QString mimeType;
};

// Base of the reply models that the JSON-to-object mapper fills.
class QVModel {
public:
    virtual ~QVModel() = default;
};

// A model class as the requests take it: its name and the mapper, which answers none
// when the value cannot be mapped. T provides ClassName() and FromJson(QJsonObject).
struct QVModelClass {
    QString name;
    std::function<std::shared_ptr<QVModel>(const QJsonDocument&)> make;

    template <class T>
    static QVModelClass Of()
    {
        return {T::ClassName(), [](const QJsonDocument& json) -> std::shared_ptr<QVModel> {
                    if (!json.isObject())
                        return nullptr;
                    return T::FromJson(json.object());
                }};
    }
};

namespace QVNetworkUtils {

// None for missing or empty bytes, with the error left untouched; otherwise strict
// JSON whose top level is an array or an object (none with the error filled).
std::optional<QJsonDocument> isValiableJSONWithData(const QByteArray& data, QVErrorOpt* error);
// No key, an empty key, or 16, 24 or 32 characters.
bool isAesKeyValiable(const std::optional<QString>& key);
// Base64 text of AES-ECB cipher text (first 16 key bytes), control characters
// trimmed from both ends; none for empty bytes or a failed decryption.
std::optional<QString> AESDecode(const QByteArray& data, const QString& aesKey);

} // namespace QVNetworkUtils

// AES on text; each answers none when the cipher fails.
namespace AESCryptText {

std::optional<QString> AES256EncryptWithKey(const QString& text, const QString& key); // ECB, PKCS#7, Base64
std::optional<QString> AES256DecryptWithKey(const QString& base64, const QString& key); // padding stays
std::optional<QString> AES128EncryptWithKey1(const QString& text, const QString& key); // ECB, no padding
std::optional<QString> AES128EncryptWithKey(const QString& text, const QString& key);  // first block only
std::optional<QString> AES128DecryptWithKey(const QString& base64, const QString& key);

} // namespace AESCryptText
