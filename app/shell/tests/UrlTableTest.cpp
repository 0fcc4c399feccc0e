// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/shell/IniFile.h"
#include "app/shell/QvUtilityObj.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <thread>

namespace {

const char* const kLogin = "https://cas.example:8443/cas";
const char* const kDomain = "http://127.0.0.1:8080/rvmds";

struct KeyPath {
    const char* key;
    const char* path;
};

const KeyPath kLoginKeys[] = {
    {"TicketUrl", "/v1/tickets"},
    {"InfosBeforSelectHospitalUrl", "/client/infosBeforSelectHospital.do"},
    {"InfoAfterSelectHospitalUrl", "/client/infoAfterSelectHospital.do"},
    {"ChangePasswordUrl", "/client/changePasswd.do"},
};

const KeyPath kBusinessKeys[] = {
    {"RivelaWebUrl", ""},
    {"RivelaGetCaseInfo", "/restful/getCaseInfo.htm"},
    {"RivelaGetImagesUrl", "/restful/queryCaseFiles.htm"},
    {"RivelaGetAllPlanUrl", "/restful/getAllPlan.htm"},
    {"RivelaAddSchemeWithoutContext", "/restful/addSchemeWithoutContext.htm"},
    {"RivelaQueryProduct", "/restful/isOperSupported.htm"},
    {"RivelaUploadRVMFileUrl", "/restful/addFile.htm"},
    {"RivelaDownloadRVMFileUrl", "/restful/getFile.htm"},
    {"RivelaGetResourceFileUrl", "/restful/queryCaseFiles.htm"},
    {"RivelaGetAuditStepResultUrl", "/restful/getAuditStepResult.htm"},
    {"RivelaNoPassAuditStepUrl", "/mycase/caseInfo/partner/auditStepUnPass.htm"},
    {"RivelaPassAuditStepUrl", "/mycase/caseInfo/partner/toAuditStepPass.htm"},
    {"RivelaUploadFileUrl", "/resourceFile/uploadFile.htm"},
    {"RivelaQueryDownloadFileUrl", "/recvAndDataReview/getSyncFileByMedicalCaseId.htm"},
    {"RivelaNotifyDownloadResultUrl", "/recvAndDataReview/syncFileResult.htm"},
    {"RivelaReplacePictureUrl", "/restful/replaceCasePicture.htm"},
    {"upload3DFileUrl", "/restful/upload3DFile.htm"},
    {"uploadApproveRVS", "/clinicalTasks/stepNotPassInPc"},
    {"RivelaReplaceFileUrl", "/restful/replaceFile.htm"},
    {"RivelaReplaceBracketFileUrl", "/restful/replaceFile.htm"},
    {"RivelaQueryBracketCodeFileUrl", "/restful/getBracketCode.htm"},
    {"RivelaQueryBracketStatusFileUrl", "/restful/getBracketStatus.htm"},
    {"RivelaActiveStatisticalileUrl", "/restful/active"},
    {"RivelaApprovePlanURL", "/index/#/planClient"},
    {"RivelaGetNeedSchemeUrl", "/restful/getNeedScheme.htm"},
    {"RivelaGetIsSuspend", "/restful/getIsSuspend.htm"},
    {"RivelaUpdateUserEquipmentInfo", "/log/equipmentInfo/save.htm"},
    {"RivelaToBelvistaByCaseId", "/restful/getRivelaToBelvistaByCaseId.htm"},
};

std::string WriteConfig(const QTemporaryDir& dir)
{
    const std::string path = dir.filePath("Rivela.ini").toStdString();
    std::ofstream(path) << "[Domain]\nUdcDomain=" << kLogin << "\n[General]\nCEFGPU=0\n";
    return path;
}

TEST(UrlTable, AllKeysAfterLoadAndAfterResetDomain)
{
    QTemporaryDir dir;
    IniFile& ini = IniFile::Instance();
    ini.SetBusinessDomain("");
    ASSERT_EQ(ini.Load(WriteConfig(dir)), 0);
    EXPECT_EQ(QvUtilityObj::getURLWith("RivelaWebUrl"), "");
    EXPECT_FALSE(QvUtilityObj::getURLWith("RivelaWebUrl").isNull());
    EXPECT_EQ(QvUtilityObj::getURLWith("RivelaGetCaseInfo"), "/restful/getCaseInfo.htm");

    QvUtilityObj::resetDomain(kDomain);
    EXPECT_EQ(ini.GetValue("domain", "BVSTDomain"), kDomain);
    int keys = 0;
    for (const KeyPath& k : kLoginKeys) {
        EXPECT_EQ(QvUtilityObj::getURLWith(k.key), QString(kLogin) + k.path) << k.key;
        ++keys;
    }
    for (const KeyPath& k : kBusinessKeys) {
        EXPECT_EQ(QvUtilityObj::getURLWith(k.key), QString(kDomain) + k.path) << k.key;
        ++keys;
    }
    EXPECT_EQ(keys, 32);
    EXPECT_EQ(static_cast<int>(ini.GetSection("Url")->items.size()), 32);
    EXPECT_EQ(QvUtilityObj::getURLWith("NoSuchKey"), "");

    // The same domain again changes nothing and writes nothing.
    const int saves = ini.SaveCount();
    QvUtilityObj::resetDomain(kDomain);
    EXPECT_EQ(ini.SaveCount(), saves);
    // A new domain rewrites the existing keys, once per changed key.
    QvUtilityObj::resetDomain("https://rvm.example/rvmmc");
    EXPECT_EQ(ini.SaveCount(), saves + 1 + 28); // "BVSTDomain" and the business keys
    EXPECT_EQ(QvUtilityObj::getURLWith("RivelaWebUrl"), "https://rvm.example/rvmmc");
}

TEST(UrlTable, NonUtf8ValueReadsAsNull)
{
    IniFile& ini = IniFile::Instance();
    ini.SetValue("Url", "Broken", "\xff\xfe");
    EXPECT_TRUE(QvUtilityObj::getURLWith("Broken").isNull());
    ini.DeleteKey("Url", "Broken");
}

// Service addresses are read on worker threads while the GUI thread rebuilds the
// table after a login; every lookup must see a whole old or new value.
TEST(UrlTable, EightThreadsReadKeysDuringRebuilds)
{
    QTemporaryDir dir;
    IniFile ini;
    ASSERT_EQ(ini.Load(WriteConfig(dir)), 0);
    const std::string domains[2] = {"http://a.example/rvmds", "https://bb.example:9443/rvmmc"};
    std::atomic<bool> stop{false};
    std::atomic<int> bad{0};
    std::atomic<long> reads{0};
    std::vector<std::thread> readers;
    for (int t = 0; t < 8; ++t)
        readers.emplace_back([&, t] {
            const KeyPath& k = kBusinessKeys[1 + t % 27];
            const std::string valid[3] = {k.path, domains[0] + k.path, domains[1] + k.path};
            while (!stop) {
                const std::string v = ini.GetValue("Url", k.key);
                if (v != valid[0] && v != valid[1] && v != valid[2])
                    ++bad;
                ++reads;
            }
        });
    for (int round = 0; round < 40; ++round) {
        ini.SetBusinessDomain(domains[round % 2]);
        ini.BuildBusinessUrls();
    }
    while (reads < 1000)
        std::this_thread::yield();
    stop = true;
    for (auto& r : readers)
        r.join();
    EXPECT_EQ(bad, 0);
    EXPECT_EQ(ini.GetValue("Url", "RivelaWebUrl"), domains[1]);
}

} // namespace
