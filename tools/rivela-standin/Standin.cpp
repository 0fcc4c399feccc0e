// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/rivela-standin/Standin.h"
#include "tools/rivela-standin/StandinCbct.h"
#include "tools/rivela-standin/StandinPage.h"

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>

namespace standin {

namespace {

const char* const kPrefix = "/rvmds";

std::string JsonText(const std::string& text)
{
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

std::string Envelope(const std::string& data, int status = 200, const std::string& msg = "success")
{
    return "{\"status\":" + std::to_string(status) + ",\"data\":" + data + ",\"msg\":" + JsonText(msg) + "}";
}

const char* const kLoginPage =
    "<!DOCTYPE html><html><head><title>登录</title></head><body><form method=\"post\" action=\"/cas/login\">"
    "<input name=\"username\"><input name=\"password\" type=\"password\"><button>登录</button></form></body></html>";

struct Upload {
    std::string name;
    std::string data;
};

// A multipart or form body as it arrived: part names in order, plus the fields.
struct Body {
    std::vector<std::string> partNames;
    std::map<std::string, std::string> fields; // text parts and form parameters
    std::map<std::string, httplib::MultipartFormData> files;
    std::map<std::string, std::string> fileData;
};

} // namespace

bool MakeFault(const std::string& kind, int ms, int code, const std::string& body, const std::string& type,
               Fault* fault)
{
    Fault f;
    if (kind == "delay") {
        f.delayMs = ms;
    } else if (kind == "status") {
        f.status = code > 0 ? code : 500;
        f.replaceBody = true;
        f.body = Envelope("null", f.status, "server error");
        f.contentType = "application/json";
    } else if (kind == "badjson") {
        f.replaceBody = true;
        f.body = "{\"status\":200,\"data\":[1,2";
        f.contentType = "application/json";
    } else if (kind == "statustext") {
        f.replaceBody = true;
        f.body = "{\"status\":\"200\",\"data\":true,\"msg\":\"success\"}";
        f.contentType = "application/json";
    } else if (kind == "nulldata") {
        f.replaceBody = true;
        f.body = Envelope("null");
        f.contentType = "application/json";
    } else if (kind == "login") {
        f.replaceBody = true;
        f.body = kLoginPage;
        f.contentType = "text/html;charset=UTF-8";
    } else if (kind == "cut") {
        f.cut = true;
    } else if (kind == "hang") {
        f.hang = true;
    } else if (kind == "nolocation") {
        f.noLocation = true;
    } else if (kind == "badxml") {
        f.replaceBody = true;
        f.body = "<cas:serviceResponse><cas:authenticationSuccess><cas:user>1001</cas:user>";
        f.contentType = "application/xml";
    } else if (kind == "body") {
        f.replaceBody = true;
        f.body = body;
        f.contentType = type.empty() ? "application/json" : type;
        if (code > 0)
            f.status = code;
    } else {
        return false;
    }
    f.delayMs = ms > 0 ? ms : f.delayMs;
    *fault = f;
    return true;
}

struct Server::Impl {
    std::string caseDir;
    httplib::Server http;
    std::thread thread;
    int port = -1;
    mutable std::mutex mutex;
    std::map<std::string, Fault> faults;
    std::vector<std::string> log;
    std::vector<Upload> uploads;
    int nextSchemeId = 9001;
    std::string blob; // the last generated body, kept for repeated fetches
    LoginSide login;
    std::condition_variable stopCv;
    bool stopping = false;
    std::unique_ptr<CbctService> cbct;

    std::string Domain() const { return "http://127.0.0.1:" + std::to_string(port) + kPrefix; }

    // The fault for the path, used up by one reply.
    bool TakeFault(const std::string& path, Fault* fault)
    {
        std::lock_guard lock(mutex);
        auto it = faults.find(path);
        if (it == faults.end())
            return false;
        *fault = it->second;
        if (it->second.times > 0 && --it->second.times == 0)
            faults.erase(it);
        return true;
    }

    void Record(const httplib::Request& req, const Body* body)
    {
        std::string line = req.method + " " + req.path;
        std::string query;
        for (const auto& [k, v] : req.params)
            query += (query.empty() ? "?" : "&") + k + "=" + v;
        line += query;
        if (body && !body->partNames.empty()) {
            line += " parts=";
            for (size_t i = 0; i < body->partNames.size(); ++i)
                line += (i ? "," : "") + body->partNames[i];
        } else if (body && !body->fields.empty()) {
            line += " form=";
            bool first = true;
            for (const auto& [k, v] : body->fields) {
                line += (first ? "" : "&") + k + "=" + v;
                first = false;
            }
        }
        std::lock_guard lock(mutex);
        log.push_back(line);
    }

    // Sends the endpoint's reply unless a fault for its path replaces it.
    void Reply(const std::string& path, httplib::Response& res, int status, std::string body, std::string type,
               const std::string& attachmentName = {})
    {
        Fault fault;
        if (TakeFault(path, &fault)) {
            if (fault.hang) {
                std::unique_lock lock(mutex);
                stopCv.wait_for(lock, std::chrono::seconds(60), [this] { return stopping; });
                res.status = 503;
                return;
            }
            if (fault.noLocation)
                res.headers.erase("Location");
            if (fault.delayMs > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(fault.delayMs));
            if (fault.status > 0)
                status = fault.status;
            if (fault.replaceBody) {
                body = fault.body;
                type = fault.contentType;
            }
            if (fault.cut) {
                auto shared = std::make_shared<std::string>(std::move(body));
                res.status = status;
                if (!attachmentName.empty())
                    res.set_header("Content-Disposition", "attachment; filename=\"" + attachmentName + "\"");
                // Announce every byte, send the first half, then give up: the client sees a short body.
                res.set_content_provider(shared->size(), type.c_str(),
                                         [shared](size_t offset, size_t, httplib::DataSink& sink) {
                                             const size_t half = shared->size() / 2;
                                             if (offset < half) {
                                                 sink.write(shared->data() + offset, half - offset);
                                                 return true;
                                             }
                                             return false;
                                         });
                return;
            }
        }
        res.status = status;
        if (!attachmentName.empty())
            res.set_header("Content-Disposition", "attachment; filename=\"" + attachmentName + "\"");
        res.set_content(std::move(body), type.c_str());
    }

    void Json(const std::string& path, httplib::Response& res, const std::string& body)
    {
        Reply(path, res, 200, body, "application/json;charset=UTF-8");
    }

    std::string FileUrl(const std::string& name) const { return Domain() + "/files/" + name; }

    struct CaseDef {
        long long caseId;
        const char* caseNo;
        const char* casePhaseId;
        const char* phaseNo;
        int kind;
        const char* file;      // the file to open, besides the model
        long long schemeId;
        long long taskId;
        const char* pagePatient;
        const char* servicePatient;
        const char* function;
        const char* planType;
    };

    static const std::vector<CaseDef>& Cases()
    {
        static const std::vector<CaseDef> cases = {
            {7001, "RV2024-0001", "31001", "1", 1041, nullptr, 0, 0, "演示患者甲", "王晓明", "jsView3DFile", ""},
            {7002, "RV2024-0002", "31002", "1", 1047, "demo-1.RVS", 120, 501, "演示患者乙", "李静", "jsApproveScheme", "1"},
            {7003, "RV2024-0003", "31003", "2", 1048, "demo-1.RVS", 121, 0, "演示患者丙", "张伟", "jsView3DFile", "1"},
            {7004, "RV2024-0004", "31004", "1", 1049, "demo.OS", 0, 0, "演示患者丁", "刘芳", "jsView3DFile", ""},
            {7005, "RV2024-0005", "31005", "1", 1050, "demo-3.RVS", 122, 0, "演示患者戊", "陈磊", "jsView3DFile", ""},
        };
        return cases;
    }

    static const CaseDef* FindCase(const std::string& caseId, const std::string& caseNo)
    {
        for (const auto& c : Cases())
            if ((!caseId.empty() && caseId == std::to_string(c.caseId)) || (!caseNo.empty() && caseNo == c.caseNo))
                return &c;
        return nullptr;
    }

    std::string FileRecord(long long bizId, int type, const std::string& name, const CaseDef& c) const
    {
        std::ostringstream s;
        s << "{\"bizId\":" << bizId << ",\"bizType\":" << type << ",\"fileType\":" << type
          << ",\"fileName\":" << JsonText(name) << ",\"fileUrl\":" << JsonText(FileUrl(name))
          << ",\"resourceFileId\":\"rf" << bizId << "\",\"medicalCaseNo\":" << JsonText(c.caseNo)
          << ",\"firstSaveTime\":1709769600000,\"stage\":" << c.phaseNo << ",\"sortNum\":" << bizId % 100
          << ",\"fileExtension\":[" << JsonText(std::filesystem::path(name).extension().string()) << "]}";
        return s.str();
    }

    // The case as the page hands it over: the page's own patient name, the service's differs.
    std::string PageCase(const CaseDef& c) const
    {
        std::ostringstream s;
        s << "{\"caseId\":" << c.caseId << ",\"caseNo\":" << JsonText(c.caseNo) << ",\"casePhaseId\":"
          << JsonText(c.casePhaseId) << ",\"phaseNo\":" << JsonText(c.phaseNo) << ",\"shcemeId\":" << c.schemeId
          << ",\"taskId\":" << c.taskId << ",\"patientName\":" << JsonText(c.pagePatient)
          << ",\"serviceType\":\"1\",\"productType\":\"2\",\"isDemoCase\":true,\"fileInfos\":["
          << FileRecord(c.caseId * 10 + 1, 1041, "demo-model.zip", c);
        if (c.file)
            s << "," << FileRecord(c.caseId * 10 + 2, c.kind, c.file, c);
        s << "]}";
        return s.str();
    }

    std::string ServiceCase(const CaseDef& c) const
    {
        std::ostringstream s;
        s << "{\"caseId\":" << c.caseId << ",\"caseNo\":" << JsonText(c.caseNo) << ",\"casePhaseId\":"
          << JsonText(c.casePhaseId) << ",\"phaseNo\":" << JsonText(c.phaseNo) << ",\"patientName\":"
          << JsonText(c.servicePatient) << ",\"serviceType\":\"1\",\"productType\":\"2\",\"partnerName\":\"演示诊所\""
          << ",\"deadline\":\"2024-04-01\",\"maxPhase\":\"2\",\"minPhase\":\"1\",\"doctorSelf\":\"1\",\"caseStatus\":3}";
        return s.str();
    }

    std::string Plans(const CaseDef& c) const
    {
        // Plan 120 is listed twice, as the service does after a plan is re-issued.
        std::ostringstream s;
        s << "[{\"planId\":\"120\",\"planName\":\"1\",\"casePhaseId\":" << JsonText(c.casePhaseId)
          << ",\"planType\":\"1\",\"planStatus\":\"3\",\"content\":\"上下颌排齐\",\"createTime\":\"1709769600000\","
             "\"logs\":[],\"taskId\":\"501\",\"prePlanId\":\"\"},"
          << "{\"planId\":120,\"planName\":\"1\",\"casePhaseId\":" << JsonText(c.casePhaseId)
          << ",\"planType\":\"1\",\"planStatus\":\"4\",\"content\":\"上下颌排齐（重发）\",\"createTime\":\"1709856000000\","
             "\"logs\":[{\"op\":\"reissue\"}]},"
          << "{\"planId\":\"121\",\"planName\":\"2\",\"casePhaseId\":" << JsonText(c.casePhaseId)
          << ",\"planType\":\"2\",\"planStatus\":\"3\",\"content\":\"专家建议\",\"createTime\":\"\",\"logs\":[]},"
          << "{\"planId\":\"122\",\"planName\":\"1\",\"casePhaseId\":" << JsonText(c.casePhaseId)
          << ",\"planType\":\"3\",\"planStatus\":\"1\",\"content\":\"托槽定位\",\"createTime\":\"1709942400000\","
             "\"logs\":[]}]";
        return s.str();
    }

    std::string CaseListJson() const
    {
        std::string out = "[";
        for (const auto& c : Cases()) {
            if (out.size() > 1)
                out += ",";
            out += "{\"function\":" + JsonText(c.function) + ",\"kind\":" + std::to_string(c.kind) +
                   ",\"oneFormJson\":" + PageCase(c) + "}";
        }
        return out + "]";
    }

    static Body ReadBody(const httplib::Request& req, const httplib::ContentReader& reader)
    {
        Body body;
        if (req.is_multipart_form_data()) {
            std::string current;
            reader(
                [&](const httplib::MultipartFormData& part) {
                    body.partNames.push_back(part.name);
                    current = part.name;
                    body.files[part.name] = part;
                    body.fileData[part.name].clear();
                    return true;
                },
                [&](const char* data, size_t n) {
                    body.fileData[current].append(data, n);
                    return true;
                });
            for (const auto& [name, part] : body.files)
                if (part.filename.empty())
                    body.fields[name] = body.fileData[name];
        } else {
            std::string raw;
            reader([&](const char* data, size_t n) {
                raw.append(data, n);
                return true;
            });
            httplib::Params params;
            httplib::detail::parse_query_text(raw, params);
            for (const auto& [k, v] : params)
                body.fields[k] = v;
        }
        return body;
    }

    bool ReadFile(const std::string& name, std::string* data) const
    {
        if (name.empty() || name.find('/') != std::string::npos || name == "..")
            return false;
        std::ifstream in(std::filesystem::path(caseDir) / name, std::ios::binary);
        if (!in)
            return false;
        std::ostringstream s;
        s << in.rdbuf();
        *data = s.str();
        return true;
    }

    void Routes()
    {
        using httplib::Request;
        using httplib::Response;
        const std::string p = kPrefix;

        auto get = [this, p](const std::string& path, std::function<void(const Request&, Response&)> handler) {
            http.Get(p + path, [this, path, handler](const Request& req, Response& res) {
                Record(req, nullptr);
                handler(req, res);
            });
        };
        auto post = [this, p](const std::string& path,
                              std::function<void(const Request&, Response&, const Body&)> handler) {
            http.Post(p + path, [this, handler](const Request& req, Response& res, const httplib::ContentReader& reader) {
                const Body body = ReadBody(req, reader);
                Record(req, &body);
                handler(req, res, body);
            });
        };

        http.Get(p, [this](const Request& req, Response& res) {
            Record(req, nullptr);
            Reply("", res, 200, PortalPage(CaseListJson(), Domain()), "text/html;charset=UTF-8");
        });
        http.Get(p + "/", [this](const Request& req, Response& res) {
            Record(req, nullptr);
            Reply("/", res, 200, PortalPage(CaseListJson(), Domain()), "text/html;charset=UTF-8");
        });

        get("/restful/getCaseInfo.htm", [this](const Request& req, Response& res) {
            const CaseDef* c = FindCase(req.get_param_value("caseId"), req.get_param_value("caseNo"));
            Json("/restful/getCaseInfo.htm", res, c ? Envelope(ServiceCase(*c)) : Envelope("null", 404, "病例不存在"));
        });
        get("/restful/getAllPlan.htm", [this](const Request& req, Response& res) {
            const CaseDef* c = FindCase(req.get_param_value("caseId"), {});
            Json("/restful/getAllPlan.htm", res, Envelope(c ? Plans(*c) : "[]"));
        });
        get("/restful/queryCaseFiles.htm", [this](const Request& req, Response& res) {
            const CaseDef* c = FindCase(req.get_param_value("caseId"), {});
            std::string data = "[]";
            if (c) {
                data = "[" + FileRecord(c->caseId * 10 + 1, 1041, "demo-model.zip", *c);
                if (req.get_param_value("bizTypes") != "1041" && c->file)
                    data += "," + FileRecord(c->caseId * 10 + 2, c->kind, c->file, *c);
                data += "]";
            }
            Json("/restful/queryCaseFiles.htm", res, Envelope(data));
        });
        get("/restful/getBracketCode.htm", [this](const Request& req, Response& res) {
            const CaseDef* c = FindCase(req.get_param_value("caseId"), {});
            const bool bracket = c && c->kind == 1050;
            Json("/restful/getBracketCode.htm", res,
                 Envelope(std::string("{\"bracketCode\":") + (bracket ? "\"DEMO\"" : "null") +
                          ",\"canModify\":" + (bracket ? "true" : "false") + "}"));
        });
        get("/restful/getRivelaToBelvistaByCaseId.htm",
            [this](const Request&, Response& res) { Json("/restful/getRivelaToBelvistaByCaseId.htm", res, Envelope("false")); });
        get("/restful/getNeedScheme.htm",
            [this](const Request&, Response& res) { Json("/restful/getNeedScheme.htm", res, Envelope("false")); });
        get("/restful/getIsSuspend.htm",
            [this](const Request&, Response& res) { Json("/restful/getIsSuspend.htm", res, Envelope("false")); });
        get("/restful/getAuditStepResult.htm", [this](const Request&, Response& res) {
            Json("/restful/getAuditStepResult.htm", res, Envelope("{\"status\":\"PASS\"}"));
        });
        get("/restful/active", [this](const Request&, Response& res) { Json("/restful/active", res, Envelope("null")); });
        get("/recvAndDataReview/getSyncFileByMedicalCaseId.htm", [this](const Request& req, Response& res) {
            const CaseDef* c = FindCase({}, req.get_param_value("medicalCaseId"));
            if (!c)
                c = FindCase(req.get_param_value("medicalCaseId"), {});
            std::string data = "[]";
            if (c) {
                data = "[" + FileRecord(c->caseId * 10 + 1, 1041, "demo-model.zip", *c);
                if (c->file)
                    data += "," + FileRecord(c->caseId * 10 + 2, c->kind, c->file, *c);
                data += "]";
            }
            Json("/recvAndDataReview/getSyncFileByMedicalCaseId.htm", res, Envelope(data));
        });

        post("/restful/addSchemeWithoutContext.htm", [this](const Request&, Response& res, const Body& body) {
            int id;
            {
                std::lock_guard lock(mutex);
                id = nextSchemeId++;
            }
            const bool ok = !body.fields.count("caseId") ? false : body.fields.at("caseId").size() > 0;
            Json("/restful/addSchemeWithoutContext.htm", res,
                 ok ? Envelope("{\"schemeId\":\"" + std::to_string(id) + "\"}") : Envelope("null", 400, "缺少病例"));
        });
        post("/mycase/caseInfo/partner/auditStepUnPass.htm", [this](const Request&, Response& res, const Body&) {
            Json("/mycase/caseInfo/partner/auditStepUnPass.htm", res, Envelope("1"));
        });
        post("/log/equipmentInfo/save.htm", [this](const Request&, Response& res, const Body&) {
            Json("/log/equipmentInfo/save.htm", res, Envelope("null"));
        });
        post("/recvAndDataReview/syncFileResult.htm", [this](const Request&, Response& res, const Body&) {
            Json("/recvAndDataReview/syncFileResult.htm", res, Envelope("null"));
        });
        // The page's upload address: "oneFile" (and "twoFile") plus "oneFormJson".
        post("/resourceFile/uploadFile.htm", [this](const Request&, Response& res, const Body& body) {
            std::string data = "[";
            for (const char* part : {"oneFile", "twoFile"}) {
                const auto it = body.files.find(part);
                if (it == body.files.end())
                    continue;
                std::string name = std::filesystem::path(it->second.filename).filename().string();
                if (name.empty() || name == "." || name == "..")
                    name = "upload.bin";
                size_t index;
                {
                    std::lock_guard lock(mutex);
                    uploads.push_back({name, body.fileData.at(part)});
                    index = uploads.size();
                }
                if (data.size() > 1)
                    data += ",";
                data += "{\"bizId\":" + std::to_string(80000 + index) + ",\"fileName\":" + JsonText(name) +
                        ",\"fileUrl\":" + JsonText(Domain() + "/uploads/" + std::to_string(index)) +
                        ",\"resourceFileId\":\"up" + std::to_string(index) + "\"}";
            }
            data += "]";
            Json("/resourceFile/uploadFile.htm", res, data == "[]" ? Envelope("null", 400, "没有文件") : Envelope(data));
        });
        http.Get(p + R"(/uploads/(\d+))", [this](const Request& req, Response& res) {
            Record(req, nullptr);
            Upload up;
            {
                std::lock_guard lock(mutex);
                const size_t i = std::stoul(req.matches[1]);
                if (i == 0 || i > uploads.size()) {
                    res.status = 404;
                    return;
                }
                up = uploads[i - 1];
            }
            Reply("/uploads", res, 200, up.data, "application/octet-stream", up.name);
        });
        // Files of the case; "?name=" overrides the suggested name (for hostile names).
        http.Get(p + R"(/files/(.+))", [this](const Request& req, Response& res) {
            Record(req, nullptr);
            const std::string name = req.matches[1];
            std::string data;
            if (!ReadFile(name, &data)) {
                Reply("/files/" + name, res, 404, "not found", "text/plain");
                return;
            }
            const std::string suggested = req.has_param("name") ? req.get_param_value("name") : name;
            Reply("/files/" + name, res, 200, std::move(data), "application/octet-stream", suggested);
        });
        // N generated bytes, for transfer benchmarks.
        http.Get(p + R"(/blob/(\d+))", [this](const Request& req, Response& res) {
            Record(req, nullptr);
            const size_t n = std::stoull(req.matches[1]);
            std::string data;
            {
                std::lock_guard lock(mutex);
                if (blob.size() != n) {
                    blob.assign(n, '\0');
                    for (size_t i = 0; i < n; ++i)
                        blob[i] = static_cast<char>(i * 131 + (i >> 12));
                }
                data = blob;
            }
            Reply("/blob", res, 200, std::move(data), "application/octet-stream", "blob.bin");
        });

        login.Routes(http, {[this](const Request& req, const LoginSide::Form* form) {
                                if (!form) {
                                    Record(req, nullptr);
                                    return;
                                }
                                // The parser merged the form into the parameters: log the query alone.
                                Request query = req;
                                query.params.clear();
                                const size_t mark = req.target.find('?');
                                if (mark != std::string::npos)
                                    httplib::detail::parse_query_text(req.target.substr(mark + 1), query.params);
                                Body body;
                                body.fields = *form;
                                Record(query, &body);
                            },
                            [this](const std::string& path, Response& res, int status, std::string body,
                                   std::string type) { Reply(path, res, status, std::move(body), std::move(type)); },
                            [this] { return port; }});

        http.Post("/__control/fault", [this](const Request& req, Response& res) {
            Fault f;
            const auto num = [&](const char* name) {
                return req.has_param(name) ? std::atoi(req.get_param_value(name).c_str()) : 0;
            };
            if (!MakeFault(req.get_param_value("kind"), num("ms"), num("code"), req.get_param_value("body"),
                           req.get_param_value("type"), &f)) {
                res.status = 400;
                res.set_content("unknown kind", "text/plain");
                return;
            }
            if (req.has_param("times"))
                f.times = num("times");
            std::lock_guard lock(mutex);
            faults[req.get_param_value("path")] = f;
            res.set_content("ok", "text/plain");
        });
        http.Post("/__control/reset", [this](const Request&, Response& res) {
            ResetAll();
            res.set_content("ok", "text/plain");
        });
        http.Get("/__control/log", [this](const Request&, Response& res) {
            std::string text;
            {
                std::lock_guard lock(mutex);
                for (const auto& line : log)
                    text += line + "\n";
            }
            res.set_content(text, "text/plain;charset=UTF-8");
        });
    }

    void ResetAll()
    {
        cbct->Reset();
        std::lock_guard lock(mutex);
        faults.clear();
        log.clear();
        uploads.clear();
        login.Reset();
    }
};

Server::Server(std::string caseDir) : m_impl(std::make_unique<Impl>())
{
    m_impl->caseDir = std::move(caseDir);
    m_impl->Routes();
    Impl* d = m_impl.get();
    d->cbct = std::make_unique<CbctService>(
        CbctService::Hooks{[d](const httplib::Request& req) { d->Record(req, nullptr); },
                           [d](const std::string& path, Fault* fault) { return d->TakeFault(path, fault); },
                           [d] { return "http://127.0.0.1:" + std::to_string(d->port); }},
        kPrefix);
    d->cbct->Routes(d->http);
}

Server::~Server()
{
    Stop();
}

int Server::Start()
{
    if (m_impl->thread.joinable())
        return m_impl->port;
    // Idle connections hold a worker until this passes, and Stop waits for them.
    m_impl->http.set_keep_alive_timeout(1);
    m_impl->port = m_impl->http.bind_to_any_port("127.0.0.1");
    if (m_impl->port <= 0)
        return m_impl->port = -1;
    m_impl->thread = std::thread([this] { m_impl->http.listen_after_bind(); });
    // A stop before the accept loop runs would be lost.
    for (int i = 0; i < 5000 && !m_impl->http.is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return m_impl->port;
}

void Server::Stop()
{
    if (!m_impl->thread.joinable())
        return;
    {
        std::lock_guard lock(m_impl->mutex);
        m_impl->stopping = true;
    }
    m_impl->stopCv.notify_all();
    m_impl->http.stop();
    m_impl->thread.join();
}

int Server::Port() const
{
    return m_impl->port;
}

std::string Server::Domain() const
{
    return m_impl->Domain();
}

void Server::SetFault(const std::string& path, const Fault& fault)
{
    std::lock_guard lock(m_impl->mutex);
    m_impl->faults[path] = fault;
}

void Server::Reset()
{
    m_impl->ResetAll();
}

LoginSide& Server::Login()
{
    return m_impl->login;
}

CbctService& Server::Cbct()
{
    return *m_impl->cbct;
}

std::vector<std::string> Server::Log() const
{
    std::lock_guard lock(m_impl->mutex);
    return m_impl->log;
}

} // namespace standin
