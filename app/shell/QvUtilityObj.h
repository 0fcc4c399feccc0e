// SPDX-License-Identifier: GPL-3.0-or-later
// Small services every window uses: the program's folders, an MD5 digest of a text,
// the standard alerts, resource paths, date texts, service addresses by
// configuration key, the switch of the business domain and checks of replies.
// Stateless; folder, text and address members run on any thread, the alerts and
// ResetDomain on the GUI thread only.
#pragma once

#include <QString>
#include <QVariant>
#include <QVariantMap>

class QWidget;

class QvUtilityObj {
public:
    QvUtilityObj() = delete;

    // The folder "Rivela" in the system's temporary folder, respectively the user's
    // caches folder, created with its parents when missing; null when it cannot be
    // (a plain file in the way included).
    static QString getTempFolder();
    static QString getAppCacheFolder();
    // The user's Downloads folder (not created).
    static QString getAppDownloadFolder();
    static QString getResourcePath();
    // The attachment and bracket-series libraries among the resources; null when missing.
    static QString getAttachmentPath();
    static QString getBKTPath();
    // Downloads + "/" + name + ".zip".
    static QString getCaseImagesZipFile(const QString& name);

    // MD5 of the text's UTF-8 bytes (up to the first zero byte): 32 lower-case hex digits.
    static QString md5(const QString& text);
    // Local time now as "yyyy-MM-dd HH:mm:ss" and "yyyyMMdd" (calendar year).
    static QString getCurrentTimes();
    static QString getCurrentDate();
    // The operating system's version as "major.minor.patch".
    static QString getSystemVersion();
    // True for a number, or a text starting with a number, from 200 to 299.
    static bool isNetworkRequestSuccess(const QVariant& value);
    static bool isValidJSONString(const QString& text);

    // Alerts: a message with "确定"; an error alert; a sheet on the window (no
    // completion); a question with "确定" and "取消", true for "确定".
    static void showAlertWithMessage(const QString& message);
    static void showAlertWithError(const QString& message);
    static void showAlertInWindow(QWidget* window, const QString& message);
    static bool showAlertQuestionWithInfo(const QString& question);

    // Request parameters of the case-image and file downloads.
    static QVariantMap getDownloadCaseImageParameters(const QVariant& caseNo, const QVariant& phaseNo,
                                                      const QVariant& casePhaseId);
    static QVariantMap getDownloadFileParameters(const QVariant& caseNo, const QVariant& phaseNo, qint32 actionType);

    // The value of the key in section "Url" of the process-wide configuration: "" when
    // the key is missing, a null QString when its bytes are not UTF-8.
    static QString getURLWith(const QString& key);
    // Switches the business domain: "domain" "BVSTDomain", the configuration's domain,
    // then every business key rebuilt on it.
    static void resetDomain(const QString& domain);
};
