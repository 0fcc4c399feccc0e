// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/caselist/ExecuteJSCommandHandle.h"

#include "app/caselist/PageText.h"
#include "app/caselist/PictureReplies.h"
#include "app/caselist/SyncFolder.h"
#include "app/platform/Dispatch.h"
#include "app/platform/FilePanels.h"
#include "app/platform/Folders.h"
#include "app/service/RVHttpTransfer.h"
#include "app/service/RVNetworkClient.h"
#include "app/service/RVRequestManager.h"
#include "app/shell/QvUtilityObj.h"
#include "app/shell/widgets/RVProgressIndicator.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

#include <minizip/zip.h>

namespace {

const QString kInDevelopment = QStringLiteral("正在开发中...");

// A record given as an object or as the JSON text of one.
std::optional<RVFileModel> FileRecord(const QJsonValue& value)
{
    if (value.isObject())
        return RVFileModel::fromJson(value.toObject());
    if (value.isString()) {
        const QJsonDocument document = QJsonDocument::fromJson(value.toString().toUtf8());
        if (document.isObject())
            return RVFileModel::fromJson(document.object());
    }
    return std::nullopt;
}

QJsonObject FileItem(const RVFileModel& file)
{
    return {{"resourceFileId", file.resourceFileId},
            {"resourceFileUrl", file.fileUrl},
            {"smallFileUrl", file.smallFileUrl},
            {"bizId", QString::number(file.fileId)},
            {"fileName", file.fileName}};
}

QString CancelUploadReply()
{
    return pagetext::Json({{"status", "-1"}, {"msg", "cancelUpload"}});
}

// One entry holding the file under entryName.
bool WriteZip(const QString& archive, const QString& source, const QString& entryName)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    const QByteArray data = in.readAll();
    zipFile zip = zipOpen64(QFile::encodeName(archive).constData(), APPEND_STATUS_CREATE);
    if (!zip)
        return false;
    zip_fileinfo info{};
    const QByteArray name = entryName.toUtf8();
    bool ok = zipOpenNewFileInZip4_64(zip, name.constData(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                                      Z_DEFAULT_COMPRESSION, 0, -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, nullptr,
                                      0, 0, 1 << 11 /* UTF-8 name */, 1) == ZIP_OK;
    ok = ok && zipWriteInFileInZip(zip, data.constData(), unsigned(data.size())) == ZIP_OK;
    ok = zipCloseFileInZip(zip) == ZIP_OK && ok;
    ok = zipClose(zip, nullptr) == ZIP_OK && ok;
    if (!ok)
        QFile::remove(archive);
    return ok;
}

} // namespace

ExecuteJSCommandHandle& ExecuteJSCommandHandle::shared()
{
    static ExecuteJSCommandHandle handle;
    return handle;
}

void ExecuteJSCommandHandle::setWebView(RVScriptEvaluator evaluator, QWidget* contentView)
{
    std::lock_guard lock(m_mutex);
    m_evaluator = std::move(evaluator);
    m_contentView = contentView;
    if (m_indicator)
        m_indicator->setContentView(contentView);
}

void ExecuteJSCommandHandle::releaseWebView(QWidget* contentView)
{
    std::lock_guard lock(m_mutex);
    if (m_contentView != contentView)
        return;
    m_evaluator = {};
    m_contentView = nullptr;
}

void ExecuteJSCommandHandle::evaluate(const QString& script) const
{
    RVScriptEvaluator evaluator;
    {
        std::lock_guard lock(m_mutex);
        evaluator = m_evaluator;
    }
    if (evaluator)
        platform::RunOnGui([evaluator, script] { evaluator(script); });
}

RVProgressIndicator* ExecuteJSCommandHandle::indicator()
{
    if (!m_indicator) {
        m_indicator = new RVProgressIndicator;
        m_indicator->setContentView(m_contentView);
    }
    return m_indicator;
}

void ExecuteJSCommandHandle::executeCommand(const QString& text, RVCommandCompletion completion)
{
    const auto complete = [completion](bool ok, const QString& result) {
        if (completion)
            completion(ok, result);
    };
    const auto command = pagetext::ParseCommand(text);
    if (!command) {
        qWarning("a page command that is not a JSON object");
        complete(false, {});
        return;
    }
    const QString& name = command->name;
    if (name == QStringLiteral("UploadSyncFiles")) {
        // Its answer is the page callback; a prompt must not wait for ever.
        complete(false, {});
        UploadSyncFiles(command->value.toObject());
    } else if (name == QStringLiteral("FileSynchronization")) {
        FileSynchronization(pagetext::TextForm(command->value), complete);
    } else if (name == QStringLiteral("FilePost")) {
        FilePost(command->value.toObject(), complete);
    } else if (name == QStringLiteral("RvmPicturesShow")) {
        RvmPicturesShow(command->value, complete);
    } else if (name == QStringLiteral("GetSmallPic")) {
        GetSmallPic(command->value, complete);
    } else {
        complete(false, {});
    }
}

void ExecuteJSCommandHandle::FilePost(const QJsonObject& value, RVCommandCompletion completion)
{
    RVProgressIndicator* busy = indicator();
    busy->show();
    QJsonObject item;
    const auto types = pagetext::ParseLimitFileType(pagetext::TextForm(value.value("limitFileType")));
    const auto record = FileRecord(value.value("formData").toArray().first().toObject().value("value"));
    const auto cancel = [busy = QPointer(busy), completion] {
        if (busy)
            busy->hide();
        completion(true, CancelUploadReply());
    };
    if (!record) {
        cancel();
        return;
    }
    item = FileItem(*record);
    platform::FilePanelRequest request;
    request.kind = platform::FilePanelRequest::Kind::OpenFiles;
    QStringList patterns;
    for (const QString& type : types.types)
        patterns.append(QStringLiteral("*.") + type);
    if (!patterns.isEmpty())
        request.filters = QStringList{patterns.join(QLatin1Char(' '))};
    const auto chosen = platform::RunOpenPanel(nullptr, request);
    if (!chosen || chosen->isEmpty()) {
        cancel();
        return;
    }
    const QString file = chosen->first();
    auto answer = [busy = QPointer(busy), completion, item](std::optional<RVFileModel> uploaded, bool ok) {
        if (busy)
            busy->hide();
        QJsonObject reply;
        if (ok && uploaded) {
            reply.insert("data", QJsonArray{FileItem(*uploaded)});
            reply.insert("status", "200");
            reply.insert("msg", "操作成功");
        } else {
            reply.insert("data", QJsonArray{item});
            reply.insert("status", "-2");
            reply.insert("msg", "操作失败");
        }
        completion(true, pagetext::Json(reply));
    };
    if (types.picture) {
        // The picture upload handler is not built yet: a failed upload.
        QvUtilityObj::showAlertWithMessage(kInDevelopment);
        answer(std::nullopt, false);
        return;
    }
    const QFileInfo info(file);
    const QString name = pagetext::CleanUploadName(info.completeBaseName());
    const QString extension = info.suffix();
    QString uploadName = name + QLatin1Char('.') + extension;
    QString toSend = file;
    if (pagetext::FlagFromJson(value.value("needZip"))) {
        const QString folder = platform::EnsureFolder(platform::TemporaryFolder() + QStringLiteral("/Rivela-temp"));
        const QString archive = folder + QLatin1Char('/') + name + QStringLiteral(".zip");
        QFile::remove(archive);
        if (folder.isEmpty() || !WriteZip(archive, file, uploadName)) {
            if (busy)
                busy->hide();
            completion(true, pagetext::Json({{"data", QJsonArray{item}}}));
            return;
        }
        uploadName = name + QStringLiteral(".zip");
        toSend = archive;
    }
    uploadFile(toSend, pagetext::TextForm(value.value("uploadUrl")), record->fileId, qint64(record->fileType),
               uploadName, true, answer);
}

void ExecuteJSCommandHandle::RvmPicturesShow(const QJsonValue& value, RVCommandCompletion completion)
{
    if (!value.isObject() || !value.toObject().contains("urlServerHost")) {
        completion(false, {});
        return;
    }
    const QJsonObject args = value.toObject();
    const QString emrId = pagetext::TextForm(args.value("emrId"));
    // The case-photo upload window is not built yet: answered as if closed unchanged.
    QvUtilityObj::showAlertWithMessage(kInDevelopment);
    completion(true, pagetext::Json({{"emrId", emrId}}));
    if (const auto call = pagetext::ScriptCall(pagetext::TextForm(args.value("callBackMethod")),
                                               pagetext::ScriptLiteral(emrId)))
        evaluate(*call);
}

void ExecuteJSCommandHandle::GetSmallPic(const QJsonValue& value, RVCommandCompletion completion)
{
    if (!value.isObject()) {
        completion(false, pagetext::Json({{"status", "0"}, {"msg", "参数错误"}}));
        return;
    }
    const QJsonObject args = value.toObject();
    const QString picPath = pagetext::LocalPath(pagetext::TextForm(args.value("picPath")));
    const bool isCompress = pagetext::FlagFromText(pagetext::TextForm(args.value("isCompress")));
    const bool onlySmall = pagetext::FlagFromText(pagetext::TextForm(args.value("onlySmall")));
    const QImage image = pictures::ReadPicture(picPath);
    const QString last = picPath.contains(QStringLiteral("http")) ? QUrl(picPath).fileName() : QFileInfo(picPath).fileName();
    const QString temp = QvUtilityObj::getTempFolder();
    QByteArray big;
    QByteArray small;
    QString bigPath;
    if (!image.isNull() && !temp.isEmpty()) {
        if (isCompress) {
            big = pictures::ImageData(image, "JPEG", true);
            bigPath = temp + QLatin1Char('/') + last + QStringLiteral(".jpg");
            if (pictures::WriteAtomically(bigPath, big))
                qInfo("图片1保存成功");
            small = pictures::ImageData(pictures::Thumbnail(image), "JPEG");
            if (pictures::WriteAtomically(temp + QLatin1Char('/') + last + QStringLiteral("-small.jpg"), small))
                qInfo("图片2保存成功");
        } else {
            big = pictures::ImageData(image, "JPEG");
            const QString smallName = last + QStringLiteral("-small.") + picPath.section(QLatin1Char('.'), -1);
            small = pictures::ImageData(pictures::Thumbnail(image), pictures::ImageFileType(smallName));
            if (pictures::WriteAtomically(temp + QLatin1Char('/') + smallName, small))
                qInfo("图片2保存成功");
            bigPath = picPath;
        }
    }
    const QString smallText = pagetext::Base64Lines(small);
    if ((onlySmall || !big.isEmpty()) && !smallText.isEmpty()) {
        QJsonObject data{{"thumbnail", QJsonObject{{"base64", smallText}, {"picPath", bigPath}}}};
        if (!onlySmall)
            data.insert("compress", QJsonObject{{"base64", pagetext::Base64Lines(big)}, {"picPath", bigPath}});
        completion(true, pagetext::Json({{"status", "200"}, {"msg", "success"}, {"data", data}}));
        return;
    }
    const QJsonObject empty{{"base64", ""}, {"picPath", ""}};
    completion(false, pagetext::Json({{"status", "200"},
                                      {"msg", "fail"},
                                      {"data", QJsonObject{{"compress", empty}, {"thumbnail", empty}}}}));
}

void ExecuteJSCommandHandle::uploadFile(const QString& path, const QString& url, qint64 bizId, qint64 bizType,
                                        const QString& fileName, bool showHud, RVUploadResult result)
{
    const QJsonObject params{{"oneFormJson", QJsonObject{{"bizId", bizId}, {"bizType", bizType}}}};
    const QString name =
        fileName.isNull() ? QStringLiteral("%1.%2").arg(bizId).arg(QFileInfo(path).suffix()) : fileName;
    QPointer<RVProgressIndicator> busy = showHud ? indicator() : nullptr;
    if (busy)
        busy->show();
    auto done = std::make_shared<RVUploadResult>(std::move(result));
    RVRequestManager::uploadFileWihtURL(
        url, name, params, RVUploadFile(path), nullptr,
        [busy, showHud, done](const QJsonValue& reply) {
            if (showHud && busy)
                busy->hide();
            std::optional<RVFileModel> uploaded;
            const QJsonObject object = reply.toObject();
            if (reply.isObject() && QvUtilityObj::isNetworkRequestSuccess(object.value("status").toVariant())) {
                const auto files = RVFileModel::listFromJson(object.value("data").toArray());
                if (!files.isEmpty())
                    uploaded = files.last();
            }
            if (*done)
                (*done)(uploaded, uploaded.has_value());
        },
        [busy, showHud, done](const QString&) {
            if (showHud && busy)
                busy->hide();
            if (*done)
                (*done)(std::nullopt, false);
        });
}

std::optional<QString> ExecuteJSCommandHandle::AskForFolder()
{
    platform::FilePanelRequest request;
    request.kind = platform::FilePanelRequest::Kind::OpenFolder;
    request.title = QStringLiteral("设置路径");
    const auto chosen = platform::RunOpenPanel(nullptr, request);
    if (!chosen || chosen->isEmpty() || chosen->first().isEmpty())
        return std::nullopt;
    return chosen->first();
}

std::optional<QString> ExecuteJSCommandHandle::getdirectory()
{
    const auto stored = syncfolder::StoredRoot();
    if (stored && QFileInfo(*stored).isDir())
        return stored;
    const auto chosen = AskForFolder();
    if (chosen && !stored && !syncfolder::StoreRoot(*chosen))
        qWarning("the synchronisation folder could not be stored");
    return chosen;
}

void ExecuteJSCommandHandle::updateFileDirectory()
{
    if (const auto chosen = AskForFolder(); chosen && !syncfolder::StoreRoot(*chosen))
        qWarning("the synchronisation folder could not be stored");
}

std::optional<QString> ExecuteJSCommandHandle::syncFileDirectory(const RVFileModel& file, bool create)
{
    const auto root = getdirectory();
    if (!root)
        return std::nullopt;
    const QString folder = QDir(*root).filePath(syncfolder::CaseFolder(file));
    if (create)
        QDir().mkpath(folder);
    return folder;
}

void ExecuteJSCommandHandle::UploadSyncFiles(const QJsonObject& value)
{
    const QJsonValue tag = value.value("tag");
    const QString callback = pagetext::TextForm(value.value("callBackMethodName"));
    const auto notFound = [this, tag, callback] {
        QJsonObject reply{{"status", "-2"}, {"msg", "文件不存在"}, {"tag", tag}};
        if (const auto call = pagetext::ScriptCall(callback, pagetext::Json(reply)))
            evaluate(*call);
    };
    const auto record = FileRecord(value.value("formData").toArray().last().toObject().value("value"));
    if (!record) {
        notFound();
        return;
    }
    const auto folder = syncFileDirectory(*record, false);
    if (!folder) {
        notFound();
        return;
    }
    const QStringList entries = QDir(*folder).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    const auto entry = syncfolder::MatchEntry(*record, entries);
    if (!entry) {
        notFound();
        return;
    }
    const QString fileName = record->fileName;
    uploadFile(QDir(*folder).filePath(*entry), pagetext::TextForm(value.value("uploadUrl")), record->fileId,
               qint64(record->fileType), *entry, false,
               [this, tag, callback, fileName](std::optional<RVFileModel>, bool ok) {
                   QJsonObject reply{{"tag", tag}, {"status", ok ? 200 : -2}, {"msg", ok ? "文件上传成功" : "文件上传失败"}};
                   if (ok)
                       reply.insert("fileName", fileName);
                   if (const auto call = pagetext::ScriptCall(callback, pagetext::Json(reply)))
                       evaluate(*call);
               });
}

void ExecuteJSCommandHandle::FileSynchronization(const QString& medicalCaseId, RVCommandCompletion completion)
{
    QPointer<RVProgressIndicator> busy = indicator();
    busy->show();
    platform::AsyncGlobal([this, medicalCaseId, completion, busy] {
        const QList<RVFileModel> files = RVRequestManager::querySyncFileByMedicalCaseId(medicalCaseId).value_or(QList<RVFileModel>());
        QJsonArray report;
        for (const RVFileModel& file : files) {
            QString target;
            platform::SyncOnGui([&] {
                const QString name = pagetext::SafePathComponent(file.fileName);
                if (const auto folder = syncFileDirectory(file, true); folder && !name.isEmpty())
                    target = QDir(*folder).filePath(name);
            });
            if (target.isEmpty())
                continue;
            // The old file stays until a whole 2xx body has arrived.
            RVHttpRequest request;
            request.url = QUrl(file.fileUrl);
            request.timeout = std::chrono::milliseconds(RVTimeouts().transferMs.load());
            request.downloadFolder = QFileInfo(target).absolutePath();
            const RVHttpResponse response = RVPerformHttp(request);
            if (!response.ok() || response.tempFile.isEmpty() || !RVReplaceFile(response.tempFile, target)) {
                if (!response.tempFile.isEmpty())
                    QFile::remove(response.tempFile);
                continue;
            }
            report.append(QJsonObject{{"medicalCaseId", medicalCaseId},
                                      {"resourceFileId", file.resourceFileId},
                                      {"fileUrl", file.fileUrl},
                                      {"bizTpe", qint64(file.fileType)}});
        }
        platform::SyncOnGui([&] {
            completion(false, {});
            evaluate(QStringLiteral("syncFile('1')"));
        });
        platform::RunOnGui([busy, report] {
            const auto hide = [busy](auto&&...) {
                if (busy)
                    busy->hide();
            };
            RVNetworkClient::shared().requestFormDataWithURL(
                QvUtilityObj::getURLWith(QStringLiteral("RivelaNotifyDownloadResultUrl")),
                QJsonObject{{"jsonData", QJsonObject{{"data", report}}}}, nullptr,
                [hide](const QJsonValue&) { hide(); }, [hide](const QString&) { hide(); });
        });
    });
}
