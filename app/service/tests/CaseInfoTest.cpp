// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/service/RVCaseInfo.h"
#include "app/service/RVCaseManager.h"
#include "app/service/RVFileModel.h"
#include "app/service/RVJsonValues.h"

#include <QJsonDocument>
#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>

#include <gtest/gtest.h>

#include <thread>

namespace {

QJsonObject Obj(const char* json)
{
    return QJsonDocument::fromJson(QByteArray(json)).object();
}

TEST(FileModel, MembersByTheirKeys)
{
    const RVFileModel f = RVFileModel::fromJson(Obj(R"({"bizId": 9, "fileType": 1041, "fileUrl": "u"})"));
    EXPECT_EQ(f.fileId, 9);
    EXPECT_EQ(f.fileType, 1041u);
    EXPECT_EQ(f.fileUrl, "u");
    EXPECT_EQ(RVFileModel::fromJson(Obj(R"({"fileId": 9})")).fileId, 0);

    const RVFileModel biz = RVFileModel::fromJson(Obj(R"({"bizType": 1005})"));
    EXPECT_EQ(biz.bizType(), 1005);
    EXPECT_EQ(biz.fileType, 1005u);
    // bizType prevails over a differing fileType.
    EXPECT_EQ(RVFileModel::fromJson(Obj(R"({"fileType": 1041, "bizType": 1047})")).fileType, 1047u);

    const RVFileModel odd = RVFileModel::fromJson(
        Obj(R"({"bizId": "12", "fileName": 77, "stage": null, "scanFile": "Yes", "fileExtension": [".zip", 3],
                "firstSaveTime": [1], "bizTypeName": "数字模型", "unknown": 1})"));
    EXPECT_EQ(odd.fileId, 12);
    EXPECT_EQ(odd.fileName, "77");
    EXPECT_EQ(odd.stage, 0);
    EXPECT_TRUE(odd.scanFile);
    EXPECT_EQ(odd.fileExtension, QStringList({".zip", "3"}));
    EXPECT_EQ(odd.firstSaveTime, 0);
    EXPECT_EQ(odd.fileTypeName, "数字模型");

    EXPECT_EQ(RVFileModel::listFromJson(QJsonDocument::fromJson(R"([{"bizId":1}, 5, {"bizId":2}])").array()).size(), 2);
}

TEST(PlanModel, NumbersBecomeText)
{
    const RVPlanModel p = RVPlanModel::fromJson(
        Obj(R"({"planId": 120, "planType": "1", "logs": [{"a":1}], "isBelvistaCase": 1, "createTime": null})"));
    EXPECT_EQ(p.planId, "120");
    EXPECT_EQ(p.planId, QString::number(RVCaseInfo::fromJson(Obj(R"({"shcemeId": 120})"))->schemeId));
    EXPECT_EQ(p.planType, "1");
    EXPECT_EQ(p.logs.size(), 1);
    EXPECT_TRUE(p.isBelvistaCase);
    EXPECT_TRUE(p.createTime.isNull());
}

TEST(JsonValues, FlagsFromText)
{
    struct Row {
        const char* text;
        bool flag;
    };
    const Row rows[] = {{"Yes", true}, {"y", true}, {"true", true}, {"T", true}, {"1", true}, {"  +007", true},
                        {"no", false}, {"0", false}, {"000", false}, {"", false}, {"false", false}, {"-0", false},
                        {" 9", true},  {"x", false}};
    for (const Row& r : rows)
        EXPECT_EQ(rvjson::FlagFromText(QString::fromUtf8(r.text)), r.flag) << r.text;
    QJsonValue v;
    EXPECT_TRUE(rvjson::Parse("true", &v));
    EXPECT_TRUE(v.toBool());
    EXPECT_TRUE(rvjson::Parse(" \"x\" ", &v));
    EXPECT_FALSE(rvjson::Parse("1],[2", &v));
    EXPECT_FALSE(rvjson::Parse("<html>", &v));
    EXPECT_FALSE(rvjson::Parse("", &v));
}

TEST(CaseInfo, FromJson)
{
    auto c = RVCaseInfo::fromJson(Obj(R"({"shcemeId": 77, "schemeId": 5, "caseId": "42", "caseNo": 1001,
        "phaseNo": 2, "taskId": null, "isDemoCase": "true", "approveSchemeStep": 1, "modelType": "1049",
        "patientName": null, "unknownKey": {"x": 1}, "fileInfos": {"bizId": 1}})"));
    EXPECT_EQ(c->schemeId, 77);
    EXPECT_EQ(c->caseId, 42);
    EXPECT_EQ(c->caseNo, "1001");
    EXPECT_EQ(c->phaseNo, "2");
    EXPECT_EQ(c->taskId, 0);
    EXPECT_TRUE(c->isDemoCase);
    EXPECT_TRUE(c->isApproveSchemeStep());
    EXPECT_EQ(c->modelType, 1049u);
    EXPECT_TRUE(c->patientName.isNull());
    EXPECT_TRUE(c->fileInfos().isEmpty()); // not a list: ignored
    EXPECT_TRUE(c->openURL.isNull());

    RVCaseInfo fresh;
    EXPECT_FALSE(fresh.schemeType.isNull());
    EXPECT_EQ(fresh.schemeType, "");
}

TEST(CaseInfo, FileInfosDecideUrlsAndKind)
{
    auto both = RVCaseInfo::fromJson(Obj(R"({"fileInfos": [{"fileType": 1041, "fileUrl": "A"},
                                                          {"fileType": 1047, "fileUrl": "B"}]})"));
    EXPECT_EQ(both->dmURL, "A");
    EXPECT_EQ(both->openURL, "B");
    EXPECT_EQ(both->modelType, 1047u);
    EXPECT_EQ(both->fileType, "1047");
    EXPECT_EQ(both->fileInfos().size(), 2);

    auto model = RVCaseInfo::fromJson(Obj(R"({"fileInfos": [{"fileType": 1041, "fileUrl": "A"}]})"));
    EXPECT_EQ(model->dmURL, "A");
    EXPECT_EQ(model->openURL, "A");
    EXPECT_EQ(model->modelType, 1041u);
    EXPECT_EQ(model->fileType, "0"); // written before the fallback sets the kind

    RVCaseInfo empty;
    empty.setFileInfos({});
    EXPECT_EQ(empty.modelType, 1041u);
    EXPECT_TRUE(empty.openURL.isNull());
}

TEST(CaseInfo, ParseSchemeInfo)
{
    struct Row {
        quint64 kind;
        const char* name; // null: none
        const char* type;
        const char* expectedName;
        const char* expectedType;
    };
    const Row rows[] = {
        {1048, "3", "1", "方案3-自主", "2"},
        {1047, "3", "1", "方案3-后台", "1"},
        {1047, nullptr, "2", "专家方案后台方案", "3"},
        {1048, "X", "3", "后台建议X", "4"},
        {1048, nullptr, "7", "自主排牙", "0"},
        {1047, "Y", "", "Y", "0"},
        {1049, nullptr, "", "分步动画", "5"},
        {1050, "Z", "1", "定位记录-1", "6"},
        {1041, "Z", "2", "数字模型", "0"},
        {99, nullptr, "1", "数字模型", "0"},
        {99, "kept", "abc", "kept", "0"},
    };
    for (const Row& r : rows) {
        RVCaseInfo c;
        c.modelType = r.kind;
        c.schemeName = r.name ? QString::fromUtf8(r.name) : QString();
        c.schemeType = QString::fromUtf8(r.type);
        c.parseSchemeInfo();
        EXPECT_EQ(c.schemeName, QString::fromUtf8(r.expectedName)) << r.kind << " " << (r.name ? r.name : "none");
        EXPECT_EQ(c.schemeType, QString::fromUtf8(r.expectedType)) << r.kind;
    }
}

TEST(CaseInfo, IdentifierParametersAndClear)
{
    RVCaseInfo c;
    c.caseNo = "C1";
    c.phaseNo = "2";
    c.modelType = 1048;
    EXPECT_EQ(c.identifier(), "C1_2_RVS");
    RVCaseInfo d;
    d.phaseNo = "2";
    d.modelType = 99;
    EXPECT_EQ(d.identifier(), "_2_");
    for (const auto& [kind, suffix] : {std::pair{1041u, "DM"}, {1047u, "RVS"}, {1049u, "OS"}, {1050u, "RVS"}}) {
        d.modelType = kind;
        EXPECT_EQ(d.identifier(), QStringLiteral("_2_") + suffix);
    }

    const QVariantMap p = c.imageParameters();
    EXPECT_EQ(p.value("sizeType").toInt(), 3);
    EXPECT_EQ(p.value("isDynamic").toInt(), 1);
    EXPECT_EQ(p.value("caseNo").toString(), "C1");
    EXPECT_FALSE(p.contains("casePhaseId"));
    EXPECT_EQ(RVCaseInfo::imageFileTypes().size(), 15);
    EXPECT_EQ(RVCaseInfo::imageFileTypes().front(), 1002u);
    EXPECT_EQ(RVCaseInfo::imageFileTypes().back(), 1016u);

    auto full = RVCaseInfo::fromJson(Obj(R"({"caseId": 5, "shcemeId": 6, "taskId": 7, "caseNo": "C", "productType": "p",
        "isDemoCase": true, "approveSchemeStep": true, "schemeType": "1", "patientName": "n",
        "fileInfos": [{"fileType": 1047, "fileUrl": "B"}]})"));
    full->clear();
    EXPECT_TRUE(full->caseNo.isNull());
    EXPECT_TRUE(full->patientName.isNull());
    EXPECT_TRUE(full->openURL.isNull());
    EXPECT_EQ(full->schemeType, "");
    EXPECT_EQ(full->modelType, 0u);
    EXPECT_EQ(full->caseId, 5);
    EXPECT_EQ(full->schemeId, 6);
    EXPECT_EQ(full->taskId, 7);
    EXPECT_EQ(full->productType, "p");
    EXPECT_EQ(full->fileInfos().size(), 1);
    EXPECT_TRUE(full->isDemoCase);
    EXPECT_TRUE(full->approveSchemeStep);
}

TEST(CaseInfo, SetByKeyIgnoresUnknownNames)
{
    RVCaseInfo c;
    const QJsonObject data = Obj(R"({"caseNo": "N1", "patientName": "王晓明", "shcemeId": 9, "schemeId": 8,
                                    "caseStatus": 3, "phaseNo": [1]})");
    int set = 0;
    for (auto it = data.begin(); it != data.end(); ++it)
        set += c.setValueForKey(it.key(), it.value()) ? 1 : 0;
    EXPECT_EQ(set, 3);
    EXPECT_EQ(c.caseNo, "N1");
    EXPECT_EQ(c.patientName, "王晓明");
    EXPECT_EQ(c.schemeId, 8); // by property name
    EXPECT_TRUE(c.phaseNo.isNull());
}

TEST(CaseInfo, UpdateInfoFromJsonText)
{
    struct Case {
        const char* json;
        const char* openURL;
        const char* caseNo;
        const char* patientName;
        const char* schemeType;
    };
    // Starting from openURL "u0", caseNo "c0", patientName "p0", schemeType "s0".
    const Case cases[] = {
        {R"({"fileUrl":"http://h/a%20b.zip","caseNo":"N7","patientName":"\u5f20\"A\"","schemeType":3})",
         "http://h/a%20b.zip", "N7", "张\"A\"", "3"},
        {R"({"caseNo":"N8"})", "u0", "N8", "p0", "s0"},   // absent members stay
        {"", "u0", "c0", "p0", "s0"},                      // no root
        {"[1,2]", "u0", "c0", "p0", "s0"},                 // a root without members
        {R"({"caseNo":"N9","patientName":)", "u0", "c0", "p0", "s0"}, // cut text: nothing
    };
    for (const Case& c : cases) {
        RVCaseInfo info;
        info.openURL = "u0";
        info.caseNo = "c0";
        info.patientName = "p0";
        info.schemeType = "s0";
        info.caseId = 5;
        info.updateInfo(c.json);
        EXPECT_EQ(info.openURL, c.openURL) << c.json;
        EXPECT_EQ(info.caseNo, c.caseNo) << c.json;
        EXPECT_EQ(info.patientName, QString::fromUtf8(c.patientName)) << c.json;
        EXPECT_EQ(info.schemeType, c.schemeType) << c.json;
        EXPECT_EQ(info.caseId, 5) << c.json;
    }
    RVCaseInfo untouched;
    untouched.updateInfo(nullptr);
    EXPECT_TRUE(untouched.caseNo.isEmpty());
}

class Delegate : public QObject, public RVCaseManagerDelegate {
public:
    void willSwitchNewCase() override
    {
        ++switches;
        onGui = QThread::currentThread() == thread();
    }
    int switches = 0;
    bool onGui = false;
};

TEST(CaseManager, CurrentCaseRelaysAndSameCase)
{
    RVCaseManager& m = RVCaseManager::shared();
    EXPECT_EQ(&m, &RVCaseManager::shared());
    auto info = std::make_shared<RVCaseInfo>();
    m.setCaseInfo(info);
    EXPECT_EQ(m.caseInfo(), info);
    m.clear();
    EXPECT_EQ(m.caseInfo(), nullptr);

    m.willSwitchNewCase(); // no delegate: nothing
    {
        Delegate d;
        m.setDelegate(&d);
        std::thread worker([&] { m.willSwitchNewCase(); });
        while (d.switches == 0)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        worker.join();
        EXPECT_TRUE(d.onGui);
        m.watchCaseImages(); // not answered: nothing
        m.willSwitchNewCase();
        EXPECT_EQ(d.switches, 2);
    }
    EXPECT_EQ(m.delegate(), nullptr); // held weakly
    m.willSwitchNewCase();

    struct Row {
        const char* l[3];
        const char* r[3];
        bool same;
    };
    const Row rows[] = {
        {{"a1", "1", ""}, {"A1", "1", "x"}, true},
        {{"a1", "1", "p"}, {"A1", "1", "q"}, false},
        {{"a1", "1", "P"}, {"A1", "1", "p"}, true},
        {{"a1", "1", ""}, {"A1", "2", ""}, false},
        {{"a1", "1", ""}, {"b1", "1", ""}, false},
    };
    for (const Row& r : rows) {
        RVCaseInfo a, b;
        a.caseNo = r.l[0], a.phaseNo = r.l[1], a.casePhaseId = r.l[2];
        b.caseNo = r.r[0], b.phaseNo = r.r[1], b.casePhaseId = r.r[2];
        EXPECT_EQ(RVCaseManager::isSmaeCaseWithLeftCase(a, b), r.same) << r.l[0] << r.l[2] << r.r[2];
    }
}

} // namespace
