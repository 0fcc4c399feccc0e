// SPDX-License-Identifier: GPL-3.0-or-later
// The process-wide executor of the page's commands (the prompt's JSON texts and the
// "UploadSyncFiles" message): file posts, thumbnails, the case-photo window, the
// synchronisation folder and its two commands. It answers through the completion
// (whose text becomes the prompt's answer) and by calling page functions in the case
// list's web view. Every member is called on the GUI thread.
#pragma once

#include "app/service/RVFileModel.h"
#include "app/service/upload/RVCBCTUploadCommand.h"

#include <QJsonObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QWidget;
class RVProgressIndicator;

using RVCommandCompletion = std::function<void(bool ok, const QString& result)>;
using RVUploadResult = std::function<void(std::optional<RVFileModel> uploaded, bool ok)>;

class ExecuteJSCommandHandle {
public:
    static ExecuteJSCommandHandle& shared();

    // The case list's web view: scripts go there, the busy overlay covers contentView.
    // An empty evaluator drops page calls (no case list).
    void setWebView(RVScriptEvaluator evaluator, QWidget* contentView);
    // Forgets the web view when it is still the one of contentView (a newer case list
    // may have taken its place already).
    void releaseWebView(QWidget* contentView);
    // Evaluates the script in the page; from any thread.
    void evaluate(const QString& script) const;
    RVProgressIndicator* indicator();

    // Runs one command; the completion is called exactly once, maybe later.
    void executeCommand(const QString& command, RVCommandCompletion completion);

    // Posts the file as "oneFile" with {"oneFormJson": {"bizId", "bizType"}}; the result
    // gets the last file record of a 2xx reply, or (none, false).
    void uploadFile(const QString& path, const QString& url, qint64 bizId, qint64 bizType, const QString& fileName,
                    bool showHud, RVUploadResult result);

    // The synchronisation root: the stored one while it is a folder; otherwise the
    // folder panel (a first choice is stored, a choice made because the stored
    // folder went away is used for this call only). None when cancelled.
    std::optional<QString> getdirectory();
    // The menu's choice of a new root.
    void updateFileDirectory();
    // The record's case folder below the root (created when asked); none without root.
    std::optional<QString> syncFileDirectory(const RVFileModel& file, bool create);

private:
    ExecuteJSCommandHandle() = default;
    void FilePost(const QJsonObject& value, RVCommandCompletion completion);
    void RvmPicturesShow(const QJsonValue& value, RVCommandCompletion completion);
    void GetSmallPic(const QJsonValue& value, RVCommandCompletion completion);
    void UploadSyncFiles(const QJsonObject& value);
    void FileSynchronization(const QString& medicalCaseId, RVCommandCompletion completion);
    std::optional<QString> AskForFolder();

    mutable std::mutex m_mutex;
    RVScriptEvaluator m_evaluator;
    QPointer<QWidget> m_contentView;
    QPointer<RVProgressIndicator> m_indicator;
};
