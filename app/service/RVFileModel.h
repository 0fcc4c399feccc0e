// SPDX-License-Identifier: GPL-3.0-or-later
// One file of a case as the case service and the page describe it, and one plan of
// a case's plan list. Filled from JSON objects: members without a property are
// ignored, numbers fill text with their decimal text, numeric text fills numbers, and
// a member of the wrong shape (a list for a number, an object for text) leaves the
// property as it was.
#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

class RVFileModel {
public:
    static RVFileModel fromJson(const QJsonObject& object);
    // Objects of the list become records; other elements are skipped.
    static QList<RVFileModel> listFromJson(const QJsonArray& list);

    qint64 fileId = 0; // JSON "bizId"
    quint64 fileType = 0;
    QString fileTypeName; // JSON "bizTypeName"
    QString fileName;
    QString fileUrl;
    QString smallFileUrl;
    QString resourceFileId;
    qint64 updateBusiId = 0;
    QStringList fileExtension;
    bool scanFile = false;
    bool caseFile = false;
    QString fileMd5;
    QString medicalCaseNo;
    qint64 firstSaveTime = 0; // ms since 1970-01-01 UTC
    qint64 stage = 0;
    qint64 sortNum = 0;
    QString placeholderImageName;

    qint64 bizType() const { return m_bizType; }
    // Sets fileType to the same code.
    void setBizType(qint64 type);

private:
    qint64 m_bizType = 0;
};

class RVPlanModel {
public:
    static RVPlanModel fromJson(const QJsonObject& object);
    static QList<RVPlanModel> listFromJson(const QJsonArray& list);

    QString planId;
    QString planName;
    QString casePhaseId;
    QString planType;
    QString planStatus;
    QString content;
    QString comment;
    QString createTime;
    QJsonArray logs;
    QString alignFileld;
    QString alignFileUrl;
    QString alignFileName;
    QString targetFileId;
    QString targetFileUrl;
    QString targetFileName;
    QString taskId;
    QString procInstId;
    QString targetPositionProcessId;
    QString targetPositionProcessName;
    QString selectedTargeFileType;
    QString prePlanId;
    QString modelFileName;
    QString remark;
    QString remarkCreateTime;
    QString cliRemark;
    QString cliRemarkCreateTime;
    bool isBelvistaCase = false;
};
