// SPDX-License-Identifier: GPL-3.0-or-later
// The calls of the case service, each by its configuration key ("Url" section), and
// the transfers. No state between calls; several may run at once.
//
// Calls that answer with a value block the calling thread, on any thread including
// the GUI thread: the request runs on a network thread of its own and the caller
// waits (never in a nested event loop) at most the transfer time-out, or 10 s for
// the digital-model address. Calls with a result handler return at once; the handler
// runs on the GUI thread. Failures answer none (a null QString), false, an empty
// list or empty text, as each call says; no call shows a message.
#pragma once

#include "app/service/RVCaseInfo.h"
#include "app/service/RVFileModel.h"
#include "app/service/RVNetworkClient.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class RVRequestManager {
public:
    // GET "username", "terminal" 3; a console line either way.
    static void activeStatisticalWithUsername(const QString& userName);
    // POST "taskId", "schemeContext", "message": result(true, "提交成功", the integer
    // "data") for a 2xx "status" and an integer "data", else result(false, "提交失败", 0).
    static void noPassAuditStep(qint64 taskId, const QString& schemeContext, const QString& message,
                                std::function<void(bool ok, const QString& text, qint64 value)> result);
    // result(true) when "data"."status" is "PASS".
    static void queryAuditStepResult(qint64 taskId, std::function<void(bool passed)> result);

    // The "fileUrl" of the first file of kind 1041; none on failure or after 10 s.
    static QString fetchDMURLWithCaseId(qint64 caseId);
    // "data"."bracketCode" when it is text, else none; a flag "data"."canModify"
    // goes to *canModify, which otherwise keeps its value.
    static QString getBracketInfoWithCaseId(qint64 caseId, bool* canModify);
    static bool getCanCommitBracketWithCaseId(qint64 caseId);
    // Every member of "data" that names a descriptor property replaces it.
    static void updateRivelaCaseInfo(const QString& caseNo, RVCaseInfo& caseInfo);
    static std::shared_ptr<RVCaseInfo> queryCaseInfo(qint64 caseId);
    static bool IsRivelaToBelvistaWithCaseId(qint64 caseId);
    static std::optional<QList<RVFileModel>> querySyncFileByMedicalCaseId(const QString& medicalCaseId);
    // False only when the case needs a scheme or is suspended; a failed endpoint
    // raises no objection.
    static bool canSubmitTargetDesignByCaseId(const QString& caseId);
    static QList<RVPlanModel> getAllPlanWithCaseId(const QString& caseId);
    // POST "caseId", "fileType" "1048": "data"."schemeId" when it is text, else "".
    static QString createNewSchemeIdWithCaseId(const QString& caseId);

    static std::shared_ptr<RVNetworkTask> uploadFileWihtURL(const QString& url, const QString& fileName,
                                                            const QJsonObject& params, const RVUploadFile& fileData,
                                                            RVNetworkClient::Progress progress,
                                                            RVNetworkClient::Success success,
                                                            RVNetworkClient::Failure failure);
    static std::shared_ptr<RVNetworkTask> uploadFileWihtURL(const QString& url, const QString& fileName1,
                                                            const QString& fileName2, const QJsonObject& params,
                                                            const RVUploadFile& fileData1,
                                                            const RVUploadFile& fileData2,
                                                            RVNetworkClient::Progress progress,
                                                            RVNetworkClient::Success success,
                                                            RVNetworkClient::Failure failure);
    // Escapes the URL (EscapeForQuery) and downloads it into the cache folder;
    // completion(path), or completion(none) on failure, on the GUI thread.
    static void downloadFileWithURL(const QString& url, std::function<void(const QString& path)> completion);
    // Downloads the URL as given to the file; progress gets done / total; success(true,
    // path) or success(false, error text).
    static void downloadFileWithURL(const QString& url, std::function<void(double fraction)> progress,
                                    const QString& destination,
                                    std::function<void(bool ok, const QString& value)> success);

    // Percent-escapes what a query may not hold (letters, digits and -._~!$&'()*+,;=:@/?
    // stay) as UTF-8; a valid %XX escape is kept, so signed addresses survive.
    static QByteArray EscapeForQuery(const QString& url);
};
