// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/rivela-standin/Standin.h"

#include <httplib.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

namespace {

class StandinTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = std::filesystem::temp_directory_path() /
              ("standin-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
        for (const char* name : {"demo-model.zip", "demo-1.RVS", "demo.OS", "demo-3.RVS"})
            std::ofstream(dir / name, std::ios::binary) << "content of " << name;
        server = std::make_unique<standin::Server>(dir.string());
        ASSERT_GT(server->Start(), 0);
        client = std::make_unique<httplib::Client>("127.0.0.1", server->Port());
    }
    void TearDown() override
    {
        client.reset();
        server.reset();
        std::filesystem::remove_all(dir);
    }

    std::filesystem::path dir;
    std::unique_ptr<standin::Server> server;
    std::unique_ptr<httplib::Client> client;
};

TEST_F(StandinTest, DomainIsLoopbackWithTheBusinessPath)
{
    EXPECT_EQ(server->Domain(), "http://127.0.0.1:" + std::to_string(server->Port()) + "/rvmds");
}

TEST_F(StandinTest, EndpointsAnswerTheEnvelope)
{
    struct Row {
        const char* target;
        const char* expected;
    };
    const Row rows[] = {
        {"/rvmds/restful/getCaseInfo.htm?caseId=7002", "\"patientName\":\"李静\""},
        {"/rvmds/restful/getCaseInfo.htm?caseNo=RV2024-0005", "\"caseId\":7005"},
        {"/rvmds/restful/getCaseInfo.htm?caseId=1", "\"data\":null"},
        {"/rvmds/restful/getAllPlan.htm?caseId=7002&schemeType=1", "\"planId\":120,"},
        {"/rvmds/restful/queryCaseFiles.htm?caseId=7003&bizTypes=1041", "/files/demo-model.zip\""},
        {"/rvmds/restful/getBracketCode.htm?caseId=7005", "\"bracketCode\":\"DEMO\""},
        {"/rvmds/restful/getRivelaToBelvistaByCaseId.htm?caseId=7001", "\"data\":false"},
        {"/rvmds/restful/getNeedScheme.htm?caseId=7001", "\"status\":200"},
        {"/rvmds/restful/getIsSuspend.htm?caseId=7001", "\"data\":false"},
        {"/rvmds/restful/getAuditStepResult.htm?taskId=501", "\"PASS\""},
        {"/rvmds/restful/active?username=u&terminal=3", "\"status\":200"},
        {"/rvmds/recvAndDataReview/getSyncFileByMedicalCaseId.htm?medicalCaseId=RV2024-0002", "\"medicalCaseNo\":\"RV2024-0002\""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.target);
        auto res = client->Get(row.target);
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 200);
        EXPECT_NE(res->body.find(row.expected), std::string::npos) << res->body;
        EXPECT_EQ(res->get_header_value("Content-Type").rfind("application/json", 0), 0u);
    }
    // Plan 120 is listed twice.
    auto plans = client->Get("/rvmds/restful/getAllPlan.htm?caseId=7002&schemeType=1");
    ASSERT_TRUE(plans);
    EXPECT_NE(plans->body.find("\"planId\":\"120\""), std::string::npos);

    auto scheme = client->Post("/rvmds/restful/addSchemeWithoutContext.htm", "caseId=7003&fileType=1048",
                               "application/x-www-form-urlencoded");
    ASSERT_TRUE(scheme);
    EXPECT_NE(scheme->body.find("\"schemeId\":\"9001\""), std::string::npos);
    const auto log = server->Log();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "POST /rvmds/restful/addSchemeWithoutContext.htm form=caseId=7003&fileType=1048");
}

TEST_F(StandinTest, FilesCarryTheirSuggestedName)
{
    auto res = client->Get("/rvmds/files/demo-1.RVS");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->body, "content of demo-1.RVS");
    EXPECT_EQ(res->get_header_value("Content-Disposition"), "attachment; filename=\"demo-1.RVS\"");
    auto hostile = client->Get("/rvmds/files/demo.OS?name=../../x");
    ASSERT_TRUE(hostile);
    EXPECT_EQ(hostile->get_header_value("Content-Disposition"), "attachment; filename=\"../../x\"");
    auto missing = client->Get("/rvmds/files/..%2Fetc");
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->status, 404);
}

TEST_F(StandinTest, UploadsAreServedBackAndLoggedInPartOrder)
{
    httplib::MultipartFormDataItems items = {
        {"oneFile", "picture bytes", "front.jpg", "application/octet-stream"},
        {"oneFormJson", "{\"bizId\":12}", "", ""},
    };
    auto res = client->Post("/rvmds/resourceFile/uploadFile.htm", items);
    ASSERT_TRUE(res);
    EXPECT_NE(res->body.find("\"fileName\":\"front.jpg\""), std::string::npos) << res->body;
    EXPECT_EQ(server->Log().back(), "POST /rvmds/resourceFile/uploadFile.htm parts=oneFile,oneFormJson");
    auto back = client->Get("/rvmds/uploads/1");
    ASSERT_TRUE(back);
    EXPECT_EQ(back->body, "picture bytes");
    EXPECT_EQ(back->get_header_value("Content-Disposition"), "attachment; filename=\"front.jpg\"");
}

TEST_F(StandinTest, FaultsReplaceTheReply)
{
    struct Row {
        const char* kind;
        int status;
        const char* body;
        const char* type;
    };
    const Row rows[] = {
        {"status", 503, "\"status\":503", "application/json"},
        {"badjson", 200, "\"data\":[1,2", "application/json"},
        {"statustext", 200, "\"status\":\"200\"", "application/json"},
        {"nulldata", 200, "\"data\":null", "application/json"},
        {"login", 200, "<form", "text/html"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.kind);
        auto set = client->Post(std::string("/__control/fault?path=/restful/getNeedScheme.htm&kind=") + row.kind +
                                    "&code=503&times=1",
                                "", "text/plain");
        ASSERT_TRUE(set);
        ASSERT_EQ(set->status, 200);
        auto res = client->Get("/rvmds/restful/getNeedScheme.htm?caseId=7001");
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, row.status);
        EXPECT_NE(res->body.find(row.body), std::string::npos) << res->body;
        EXPECT_EQ(res->get_header_value("Content-Type").rfind(row.type, 0), 0u);
        // Used up after one reply.
        auto again = client->Get("/rvmds/restful/getNeedScheme.htm?caseId=7001");
        ASSERT_TRUE(again);
        EXPECT_NE(again->body.find("\"data\":false"), std::string::npos);
    }
    EXPECT_EQ(client->Post("/__control/fault?path=/x&kind=nonsense", "", "text/plain")->status, 400);
}

TEST_F(StandinTest, CutReplyEndsShortAndDelayHolds)
{
    standin::Fault cut;
    ASSERT_TRUE(standin::MakeFault("cut", 0, 0, "", "", &cut));
    server->SetFault("/files/demo-model.zip", cut);
    auto res = client->Get("/rvmds/files/demo-model.zip");
    EXPECT_FALSE(res && res->status == 200 && res->body == "content of demo-model.zip");

    standin::Fault delay;
    ASSERT_TRUE(standin::MakeFault("delay", 300, 0, "", "", &delay));
    server->SetFault("/restful/getIsSuspend.htm", delay);
    const auto start = std::chrono::steady_clock::now();
    auto slow = client->Get("/rvmds/restful/getIsSuspend.htm?caseId=1");
    ASSERT_TRUE(slow);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
}

TEST_F(StandinTest, PortalPageSendsThePageCommands)
{
    auto res = client->Get("/rvmds");
    ASSERT_TRUE(res);
    ASSERT_EQ(res->status, 200);
    const std::string& page = res->body;
    for (const char* text :
         {"ExecuteRivelaCommand", "ExecuteMainCommand", "'CloseForm'", "window.prompt(", "\"function\":\"jsApproveScheme\"",
          "\"function\":\"jsView3DFile\"", "jsViewImage", "\"oneFormJson\":{\"caseId\":7002", "\"shcemeId\":120",
          "/SelectPic'", "/EditPic'", "/CBCTUploadUpload'", "/CBCTUploadCancel'", "/UploadSyncFiles'", "/Download'",
          "/FileSynchronization'", "/FilePost'", "/RvmPicturesShow'", "/GetSmallPic'", "function LoadPicture(",
          "function EditPicCallBack(", "function CBCTUploadCallback(", "function globalRefresh(", "function syncFile(",
          "callBackMethodName: 'syncCallback'", "uploadUrl: domain + '/resourceFile/uploadFile.htm'", "type=\"file\"",
          "/files/demo-1.RVS\">"}) {
        EXPECT_NE(page.find(text), std::string::npos) << text;
    }
    // The page's patient names are not the service's.
    EXPECT_NE(page.find("演示患者乙"), std::string::npos);
    EXPECT_EQ(page.find("李静"), std::string::npos);
    EXPECT_EQ(page.find("@@"), std::string::npos);
    EXPECT_NE(page.find(server->Domain() + "/files/demo-model.zip"), std::string::npos);
}

TEST_F(StandinTest, LoginServiceRoad)
{
    const std::string host = "127.0.0.1:" + std::to_string(server->Port());
    auto mcc = client->Get("/mcc.json");
    ASSERT_TRUE(mcc);
    EXPECT_EQ(mcc->body, "{\"idcs\":[{\"idcUrl\":\"" + host + "\",\"center\":true}]}");

    EXPECT_EQ(client->Post("/v1/tickets", "username=doctor&password=x", "application/x-www-form-urlencoded")->status, 401);
    auto tgt = client->Post("/v1/tickets", "username=doctor&password=Pa55-%E7%A7%98%E5%AF%86",
                            "application/x-www-form-urlencoded");
    ASSERT_TRUE(tgt);
    ASSERT_EQ(tgt->status, 201);
    const std::string location = tgt->get_header_value("Location");
    ASSERT_EQ(location.rfind("http://" + host + "/v1/tickets/TGT-", 0), 0u);
    const std::string service = "http://" + host + "/client/infosBeforSelectHospital.do";
    auto st = client->Post(location.substr(location.find("/v1/")), "service=" + service,
                           "application/x-www-form-urlencoded");
    ASSERT_TRUE(st);
    ASSERT_EQ(st->body.rfind("ST-", 0), 0u);
    auto valid = client->Get("/proxyValidate?ticket=" + st->body + "&service=" + service);
    ASSERT_TRUE(valid);
    EXPECT_NE(valid->body.find("<cas:user>1&#48;01</cas:user>"), std::string::npos);
    // A ticket validates once.
    valid = client->Get("/proxyValidate?ticket=" + st->body + "&service=" + service);
    EXPECT_NE(valid->body.find("authenticationFailure"), std::string::npos);

    // A captcha is due: 406 until the answer comes with the id, in any letter case.
    server->Login().SetCaptchaDue(true);
    EXPECT_EQ(client->Post("/v1/tickets", "username=doctor&password=Pa55-%E7%A7%98%E5%AF%86",
                           "application/x-www-form-urlencoded")->status, 406);
    auto captcha = client->Post("/rs/captcha/", "", "text/plain");
    ASSERT_TRUE(captcha);
    const std::string image = captcha->get_header_value("Location");
    std::string id = image.substr(image.rfind('/') + 1);
    EXPECT_EQ(client->Get(image.substr(image.find("/rs/")))->get_header_value("Content-Type"), "image/png");
    for (auto& c : id)
        c = char(std::tolower(c));
    EXPECT_EQ(client->Post("/v1/tickets", "username=doctor&password=Pa55-%E7%A7%98%E5%AF%86&captchaId=" + id +
                                              "&captchaAnswer=7xk2",
                           "application/x-www-form-urlencoded")->status, 201);

    // The password change wants the ticket cookie.
    auto change = client->Post("/client/changePasswd.do", "prePassword=x&newPassword1=y", "application/x-www-form-urlencoded");
    EXPECT_NE(change->body.find("\"status\":1"), std::string::npos);
    httplib::Headers cookie = {{"Cookie", "CASTGC=" + location.substr(location.rfind('/') + 1)}};
    change = client->Post("/client/changePasswd.do", cookie, "prePassword=Pa55-%E7%A7%98%E5%AF%86&newPassword1=n3w",
                          "application/x-www-form-urlencoded");
    EXPECT_EQ(change->body, "{\"status\":0}");

    // Faults: no Location, and a hang that ends when the server stops.
    standin::Fault fault;
    ASSERT_TRUE(standin::MakeFault("nolocation", 0, 0, {}, {}, &fault));
    server->SetFault("/v1/tickets", fault);
    auto bare = client->Post("/v1/tickets", "username=doctor&password=n3w", "application/x-www-form-urlencoded");
    EXPECT_EQ(bare->status, 201);
    EXPECT_FALSE(bare->has_header("Location"));
    ASSERT_TRUE(standin::MakeFault("hang", 0, 0, {}, {}, &fault));
    server->SetFault("/mcc.json", fault);
    std::thread waiting([&] { httplib::Client("127.0.0.1", server->Port()).Get("/mcc.json"); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto start = std::chrono::steady_clock::now();
    server->Stop();
    waiting.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    const auto log = server->Log();
    EXPECT_EQ(log.front(), "GET /mcc.json");
    EXPECT_EQ(log[1], "POST /v1/tickets form=password=x&username=doctor");
}

} // namespace
