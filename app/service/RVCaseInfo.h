// SPDX-License-Identifier: GPL-3.0-or-later
// One treatment case as the case list and the case service describe it: which case
// and phase, which scheme was opened, the kind of file that holds it, where its files
// are and whether it was opened to approve a scheme. Used on the GUI thread.
//
// Model kinds (modelType): 1041 digital model, 1047 back-end scheme, 1048
// self-arranged scheme, 1049 step animation, 1050 bracket-positioning scheme.
// After parseSchemeInfo, schemeType holds a scheme-title code: 0 digital model or
// unnamed, 1 numbered back-end, 2 numbered self-arranged, 3 expert, 4 back-end
// suggestion, 5 step animation, 6 bracket-positioning record.
#pragma once

#include "app/service/RVFileModel.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QVariantMap>

#include <memory>

class RVCaseInfo {
public:
    // Filled from the case's JSON form: the scheme id comes from "shcemeId" (never
    // "schemeId"); "fileInfos" goes through setFileInfos.
    static std::shared_ptr<RVCaseInfo> fromJson(const QJsonObject& object);

    // Sets the property of that name (property names, so "schemeId", not the JSON
    // key); false, and nothing changed, for a name that is no property or a value
    // that does not fit it.
    bool setValueForKey(const QString& name, const QJsonValue& value);

    qint64 caseId = 0;
    QString caseNo;
    QString casePhaseId;
    QString phaseNo;
    qint64 schemeId = 0;
    qint64 taskId = 0;
    QString fileType;
    QString schemeName;
    QString schemeType = QStringLiteral(""); // reads as empty text when unset
    QString doctorSelf;
    QString partnerName;
    QString deadline;
    QString maxPhase;
    QString minPhase;
    QString productType;
    QString serviceType;
    QString patientName;
    quint64 modelType = 0;
    QString dmURL;
    QString openURL;
    bool isDemoCase = false;
    bool approveSchemeStep = false;
    bool isApproveSchemeStep() const { return approveSchemeStep; }

    const QList<RVFileModel>& fileInfos() const { return m_fileInfos; }
    // Stores the list; the last file of kind 1041 gives dmURL, the last other file
    // openURL and modelType; fileType is then modelType's text; without another file
    // openURL falls back to dmURL and the kind to 1041.
    void setFileInfos(const QList<RVFileModel>& files);

    // Names the scheme and turns schemeType (a plan type) into a scheme-title code.
    // Not idempotent for kinds 1047 and 1048: a second call reads the code as a plan type.
    void parseSchemeInfo();

    // caseNo + "_" + phaseNo + "_" + the kind's suffix ("DM", "RVS", "OS" or "").
    QString identifier() const;
    // "sizeType" 3, "isDynamic" 1, "itemCode" 0, "filePosition" 0 and the case's
    // "caseNo", "phaseNo", "casePhaseId" when present.
    QVariantMap imageParameters() const;
    // The case-image codes 1002 to 1016.
    static QList<quint64> imageFileTypes();

    // Copies "fileUrl" (into openURL), "caseNo", "casePhaseId", "phaseNo",
    // "patientName", "fileType", "schemeName", "schemeType" and "doctorSelf" from the
    // root of a JSON text; absent members leave their property as it was, and a text
    // without a root or that does not parse whole changes nothing. String escapes are decoded, so a name sent as
    // "\u5f20" reads as the character, not as the escape.
    void updateInfo(const char* json);

    // Empties the texts and the kind; ids, productType, fileInfos and the flags stay.
    void clear();

private:
    QList<RVFileModel> m_fileInfos;
};
