// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/service/RVFileModel.h"
#include "app/service/RVJsonValues.h"

using rvjson::SetFlag;
using rvjson::SetNumber;
using rvjson::SetText;

void RVFileModel::setBizType(qint64 type)
{
    m_bizType = type;
    fileType = static_cast<quint64>(type);
}

RVFileModel RVFileModel::fromJson(const QJsonObject& o)
{
    RVFileModel f;
    for (auto it = o.begin(); it != o.end(); ++it) {
        const QString& key = it.key();
        const QJsonValue v = it.value();
        if (key == u"bizId")
            SetNumber(f.fileId, v);
        else if (key == u"fileType")
            SetNumber(f.fileType, v);
        else if (key == u"bizTypeName")
            SetText(f.fileTypeName, v);
        else if (key == u"fileName")
            SetText(f.fileName, v);
        else if (key == u"fileUrl")
            SetText(f.fileUrl, v);
        else if (key == u"smallFileUrl")
            SetText(f.smallFileUrl, v);
        else if (key == u"resourceFileId")
            SetText(f.resourceFileId, v);
        else if (key == u"updateBusiId")
            SetNumber(f.updateBusiId, v);
        else if (key == u"fileExtension") {
            if (v.isArray()) {
                f.fileExtension.clear();
                for (const QJsonValue& e : v.toArray())
                    if (const auto text = rvjson::Text(e))
                        f.fileExtension.append(*text);
            } else if (v.isNull()) {
                f.fileExtension.clear();
            }
        } else if (key == u"scanFile")
            SetFlag(f.scanFile, v);
        else if (key == u"caseFile")
            SetFlag(f.caseFile, v);
        else if (key == u"fileMd5")
            SetText(f.fileMd5, v);
        else if (key == u"medicalCaseNo")
            SetText(f.medicalCaseNo, v);
        else if (key == u"firstSaveTime")
            SetNumber(f.firstSaveTime, v);
        else if (key == u"stage")
            SetNumber(f.stage, v);
        else if (key == u"sortNum")
            SetNumber(f.sortNum, v);
        else if (key == u"placeholderImageName")
            SetText(f.placeholderImageName, v);
    }
    // "bizType" names the file's kind on the service's side; when both members are
    // there it wins, as its setter runs last.
    const QJsonValue biz = o.value(u"bizType");
    if (biz.isNull())
        f.setBizType(0);
    else if (const auto n = rvjson::Integer(biz))
        f.setBizType(*n);
    return f;
}

QList<RVFileModel> RVFileModel::listFromJson(const QJsonArray& list)
{
    QList<RVFileModel> out;
    for (const QJsonValue& v : list)
        if (v.isObject())
            out.append(fromJson(v.toObject()));
    return out;
}

RVPlanModel RVPlanModel::fromJson(const QJsonObject& o)
{
    RVPlanModel p;
    struct Field {
        const char16_t* key;
        QString RVPlanModel::*member;
    };
    static const Field fields[] = {
        {u"planId", &RVPlanModel::planId},
        {u"planName", &RVPlanModel::planName},
        {u"casePhaseId", &RVPlanModel::casePhaseId},
        {u"planType", &RVPlanModel::planType},
        {u"planStatus", &RVPlanModel::planStatus},
        {u"content", &RVPlanModel::content},
        {u"comment", &RVPlanModel::comment},
        {u"createTime", &RVPlanModel::createTime},
        {u"alignFileld", &RVPlanModel::alignFileld},
        {u"alignFileUrl", &RVPlanModel::alignFileUrl},
        {u"alignFileName", &RVPlanModel::alignFileName},
        {u"targetFileId", &RVPlanModel::targetFileId},
        {u"targetFileUrl", &RVPlanModel::targetFileUrl},
        {u"targetFileName", &RVPlanModel::targetFileName},
        {u"taskId", &RVPlanModel::taskId},
        {u"procInstId", &RVPlanModel::procInstId},
        {u"targetPositionProcessId", &RVPlanModel::targetPositionProcessId},
        {u"targetPositionProcessName", &RVPlanModel::targetPositionProcessName},
        {u"selectedTargeFileType", &RVPlanModel::selectedTargeFileType},
        {u"prePlanId", &RVPlanModel::prePlanId},
        {u"modelFileName", &RVPlanModel::modelFileName},
        {u"remark", &RVPlanModel::remark},
        {u"remarkCreateTime", &RVPlanModel::remarkCreateTime},
        {u"cliRemark", &RVPlanModel::cliRemark},
        {u"cliRemarkCreateTime", &RVPlanModel::cliRemarkCreateTime},
    };
    for (const Field& f : fields) {
        const QJsonValue v = o.value(QString::fromUtf16(f.key));
        if (!v.isUndefined())
            SetText(p.*(f.member), v);
    }
    const QJsonValue logs = o.value(u"logs");
    if (logs.isArray())
        p.logs = logs.toArray();
    const QJsonValue belvista = o.value(u"isBelvistaCase");
    if (!belvista.isUndefined())
        SetFlag(p.isBelvistaCase, belvista);
    return p;
}

QList<RVPlanModel> RVPlanModel::listFromJson(const QJsonArray& list)
{
    QList<RVPlanModel> out;
    for (const QJsonValue& v : list)
        if (v.isObject())
            out.append(fromJson(v.toObject()));
    return out;
}
