// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/service/RVCaseInfo.h"

#include "app/service/QvJsonDocument.h"
#include "app/service/RVJsonValues.h"

#include <QJsonDocument>

#include <QJsonArray>

#include <functional>

namespace {

struct Property {
    const char* name;    // property name (key-value setting)
    const char* jsonKey; // member of the case's JSON form
    std::function<bool(RVCaseInfo&, const QJsonValue&)> set;
};

// True when the value fits the property's kind (and the property was set).
bool Fits(const QJsonValue& v, bool fits)
{
    return v.isNull() || fits;
}

template <QString RVCaseInfo::*M>
bool TextProperty(RVCaseInfo& c, const QJsonValue& v)
{
    if (!Fits(v, rvjson::Text(v).has_value()))
        return false;
    rvjson::SetText(c.*M, v);
    return true;
}

template <typename T, T RVCaseInfo::*M>
bool NumberProperty(RVCaseInfo& c, const QJsonValue& v)
{
    if (!Fits(v, rvjson::Integer(v).has_value()))
        return false;
    rvjson::SetNumber(c.*M, v);
    return true;
}

template <bool RVCaseInfo::*M>
bool FlagProperty(RVCaseInfo& c, const QJsonValue& v)
{
    if (!Fits(v, rvjson::Flag(v).has_value()))
        return false;
    rvjson::SetFlag(c.*M, v);
    return true;
}

bool FileInfosProperty(RVCaseInfo& c, const QJsonValue& v)
{
    if (v.isNull()) {
        c.setFileInfos({});
        return true;
    }
    if (!v.isArray())
        return false;
    c.setFileInfos(RVFileModel::listFromJson(v.toArray()));
    return true;
}

const std::vector<Property>& Properties()
{
    static const std::vector<Property> properties = {
        {"caseId", "caseId", NumberProperty<qint64, &RVCaseInfo::caseId>},
        {"caseNo", "caseNo", TextProperty<&RVCaseInfo::caseNo>},
        {"casePhaseId", "casePhaseId", TextProperty<&RVCaseInfo::casePhaseId>},
        {"phaseNo", "phaseNo", TextProperty<&RVCaseInfo::phaseNo>},
        {"schemeId", "shcemeId", NumberProperty<qint64, &RVCaseInfo::schemeId>},
        {"taskId", "taskId", NumberProperty<qint64, &RVCaseInfo::taskId>},
        {"fileType", "fileType", TextProperty<&RVCaseInfo::fileType>},
        {"schemeName", "schemeName", TextProperty<&RVCaseInfo::schemeName>},
        {"schemeType", "schemeType",
         [](RVCaseInfo& c, const QJsonValue& v) {
             if (!TextProperty<&RVCaseInfo::schemeType>(c, v))
                 return false;
             if (c.schemeType.isNull())
                 c.schemeType = QStringLiteral("");
             return true;
         }},
        {"doctorSelf", "doctorSelf", TextProperty<&RVCaseInfo::doctorSelf>},
        {"partnerName", "partnerName", TextProperty<&RVCaseInfo::partnerName>},
        {"deadline", "deadline", TextProperty<&RVCaseInfo::deadline>},
        {"maxPhase", "maxPhase", TextProperty<&RVCaseInfo::maxPhase>},
        {"minPhase", "minPhase", TextProperty<&RVCaseInfo::minPhase>},
        {"productType", "productType", TextProperty<&RVCaseInfo::productType>},
        {"serviceType", "serviceType", TextProperty<&RVCaseInfo::serviceType>},
        {"patientName", "patientName", TextProperty<&RVCaseInfo::patientName>},
        {"modelType", "modelType", NumberProperty<quint64, &RVCaseInfo::modelType>},
        {"dmURL", "dmURL", TextProperty<&RVCaseInfo::dmURL>},
        {"openURL", "openURL", TextProperty<&RVCaseInfo::openURL>},
        {"fileInfos", "fileInfos", FileInfosProperty},
        {"isDemoCase", "isDemoCase", FlagProperty<&RVCaseInfo::isDemoCase>},
        {"approveSchemeStep", "approveSchemeStep", FlagProperty<&RVCaseInfo::approveSchemeStep>},
    };
    return properties;
}

const char* KindSuffix(quint64 kind)
{
    switch (kind) {
    case 1041: return "DM";
    case 1047:
    case 1048:
    case 1050: return "RVS";
    case 1049: return "OS";
    default: return "";
    }
}

} // namespace

std::shared_ptr<RVCaseInfo> RVCaseInfo::fromJson(const QJsonObject& object)
{
    auto info = std::make_shared<RVCaseInfo>();
    for (const Property& p : Properties()) {
        const QJsonValue v = object.value(QLatin1String(p.jsonKey));
        if (!v.isUndefined())
            p.set(*info, v);
    }
    return info;
}

bool RVCaseInfo::setValueForKey(const QString& name, const QJsonValue& value)
{
    for (const Property& p : Properties())
        if (name == QLatin1String(p.name))
            return p.set(*this, value);
    return false;
}

void RVCaseInfo::setFileInfos(const QList<RVFileModel>& files)
{
    m_fileInfos = files;
    for (const RVFileModel& f : files) {
        if (f.fileType == 1041) {
            dmURL = f.fileUrl;
        } else {
            openURL = f.fileUrl;
            modelType = f.fileType;
        }
    }
    // The text is written before the fallback below sets the kind.
    fileType = QString::number(static_cast<qint64>(modelType));
    if (openURL.isNull()) {
        openURL = dmURL;
        modelType = 1041;
    }
}

void RVCaseInfo::parseSchemeInfo()
{
    if (schemeName.isNull()) {
        schemeName = QStringLiteral("数字模型");
        if (modelType == 1047)
            schemeName = QStringLiteral("后台方案");
        else if (modelType == 1048)
            schemeName = QStringLiteral("自主排牙");
        else if (modelType == 1049)
            schemeName = QStringLiteral("分步动画");
    }
    const QString n = schemeName;
    const int t = schemeType.trimmed().toInt();
    int code = 0;
    if (modelType == 1047 || modelType == 1048) {
        if (t == 3) {
            schemeName = QStringLiteral("后台建议%1").arg(n);
            code = 4;
        } else if (t == 2) {
            schemeName = QStringLiteral("专家方案%1").arg(n);
            code = 3;
        } else if (t == 1 && modelType == 1048) {
            schemeName = QStringLiteral("方案%1-自主").arg(n);
            code = 2;
        } else if (t == 1) {
            schemeName = QStringLiteral("方案%1-后台").arg(n);
            code = 1;
        }
    } else if (modelType == 1050) {
        schemeName = QStringLiteral("定位记录-1");
        code = 6;
    } else if (modelType == 1049) {
        code = 5;
    } else if (modelType == 1041) {
        schemeName = QStringLiteral("数字模型");
    }
    schemeType = QString::number(code);
}

QString RVCaseInfo::identifier() const
{
    return caseNo + QStringLiteral("_%1_%2").arg(phaseNo, QLatin1String(KindSuffix(modelType)));
}

QVariantMap RVCaseInfo::imageParameters() const
{
    QVariantMap p{{"sizeType", 3}, {"isDynamic", 1}, {"itemCode", 0}, {"filePosition", 0}};
    if (!caseNo.isNull())
        p.insert("caseNo", caseNo);
    if (!phaseNo.isNull())
        p.insert("phaseNo", phaseNo);
    if (!casePhaseId.isNull())
        p.insert("casePhaseId", casePhaseId);
    return p;
}

QList<quint64> RVCaseInfo::imageFileTypes()
{
    QList<quint64> codes;
    for (quint64 c = 1002; c <= 1016; ++c)
        codes.append(c);
    return codes;
}

void RVCaseInfo::clear()
{
    for (QString* text : {&caseNo, &casePhaseId, &phaseNo, &fileType, &schemeName, &doctorSelf, &partnerName,
                          &deadline, &maxPhase, &serviceType, &patientName, &minPhase, &dmURL, &openURL})
        *text = QString();
    schemeType = QStringLiteral("");
    modelType = 0;
}

namespace {

// The document keeps string values as written; JSON's own parser decodes them.
QString DecodedText(const QvJsonNode& node)
{
    const std::string& raw = node.GetValue();
    if (node.GetType() != QvJsonNode::String)
        return QString::fromUtf8(raw.data(), qsizetype(raw.size()));
    const QByteArray wrapped = "[\"" + QByteArray(raw.data(), qsizetype(raw.size())) + "\"]";
    const QJsonDocument doc = QJsonDocument::fromJson(wrapped);
    if (doc.isArray() && doc.array().size() == 1 && doc.array().at(0).isString())
        return doc.array().at(0).toString();
    return QString::fromUtf8(raw.data(), qsizetype(raw.size()));
}

} // namespace

void RVCaseInfo::updateInfo(const char* json)
{
    if (json == nullptr)
        return;
    QvJsonDocument document{std::string(json)};
    // A cut or malformed text would leave the descriptor half updated.
    const QvJsonNode* root = document.GetRoot();
    if (root == nullptr || !document.IsValid())
        return;
    const std::pair<const char*, QString RVCaseInfo::*> fields[] = {
        {"fileUrl", &RVCaseInfo::openURL},         {"caseNo", &RVCaseInfo::caseNo},
        {"casePhaseId", &RVCaseInfo::casePhaseId}, {"phaseNo", &RVCaseInfo::phaseNo},
        {"patientName", &RVCaseInfo::patientName}, {"fileType", &RVCaseInfo::fileType},
        {"schemeName", &RVCaseInfo::schemeName},   {"schemeType", &RVCaseInfo::schemeType},
        {"doctorSelf", &RVCaseInfo::doctorSelf},
    };
    for (const auto& [key, member] : fields)
        if (const QvJsonNode* node = root->GetMember(key))
            this->*member = DecodedText(*node);
}
