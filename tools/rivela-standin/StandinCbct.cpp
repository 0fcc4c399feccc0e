// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/rivela-standin/StandinCbct.h"
#include "tools/rivela-standin/Standin.h"

#include <httplib.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <regex>
#include <thread>

namespace standin {

namespace {

std::string Quote(const std::string& text)
{
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string Reply(const std::string& data, int status = 200, const std::string& msg = "success")
{
    return "{\"status\":" + std::to_string(status) + ",\"data\":" + data + ",\"msg\":" + Quote(msg) + "}";
}

std::string Hex64(unsigned long long v)
{
    char buf[20];
    std::snprintf(buf, sizeof buf, "%016llx", v);
    return buf;
}

// FNV-1a: a stand-in's signatures and ETags need only be stable and distinct.
unsigned long long Fnv(const std::string& text, unsigned long long h = 1469598103934665603ull)
{
    for (unsigned char c : text) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

// An object path in a URL: every byte but the unreserved ones and "/" escaped.
std::string EncodePath(const std::string& path)
{
    std::string out;
    for (unsigned char c : path) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~' || c == '/') {
            out += static_cast<char>(c);
        } else {
            char buf[4];
            std::snprintf(buf, sizeof buf, "%%%02X", c);
            out += buf;
        }
    }
    return out;
}

std::string Sign(const std::string& method, const std::string& path)
{
    return Hex64(Fnv(method + "\n" + path + "\nstand-in secret"));
}

std::string Authorization(const std::string& signature)
{
    return "OSS standin:" + signature;
}

struct MultipartUpload {
    std::string path;
    std::map<int, std::string> parts; // part number -> bytes
    std::map<int, std::string> etags;
};

struct EtagEntry {
    bool hasEtag = false;
    std::string etag;
    std::string partNumber;
};

// The merge's "etagJson": an array of flat objects of text members.
bool ParseEtagJson(const std::string& text, std::vector<EtagEntry>* entries)
{
    static const std::regex object(R"(\{([^{}]*)\})");
    static const std::regex member(R"re("(etag|partNumber)":"((?:[^"\\]|\\.)*)")re");
    if (text.empty() || text.front() != '[' || text.back() != ']')
        return false;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), object); it != std::sregex_iterator(); ++it) {
        EtagEntry e;
        const std::string body = (*it)[1];
        for (auto m = std::sregex_iterator(body.begin(), body.end(), member); m != std::sregex_iterator(); ++m) {
            std::string value;
            const std::string raw = (*m)[2];
            for (size_t i = 0; i < raw.size(); ++i)
                value += raw[i] == '\\' && i + 1 < raw.size() ? raw[++i] : raw[i];
            if ((*m)[1] == "etag") {
                e.hasEtag = true;
                e.etag = value;
            } else {
                e.partNumber = value;
            }
        }
        entries->push_back(e);
    }
    return true;
}

} // namespace

struct CbctService::Impl {
    Hooks hooks;
    std::string prefix;
    mutable std::mutex mutex;
    std::map<std::string, std::string> objects;     // object path -> bytes
    std::map<std::string, MultipartUpload> uploads; // upload id -> upload
    std::map<std::string, std::string> lastPath;    // case number -> path of its latest upload
    std::vector<std::string> acquireTargets;
    int nextUploadId = 1;
    bool omitEtag = false;
    bool discardParts = false;

    std::string Domain() const { return hooks.origin() + prefix; }

    std::string ObjectUrl(const std::string& path, const std::string& query) const
    {
        return hooks.origin() + "/oss/" + EncodePath(path) + "?" + query;
    }

    std::string SignedHeaders(const std::string& signature) const
    {
        return "{\"Authorization\":" + Quote(Authorization(signature)) +
               ",\"Content-Type\":\"application/octet-stream\",\"x-oss-date\":\"Fri, 11 Dec 2026 10:00:00 GMT\"}";
    }

    // Sends the reply unless a fault of the path changes it.
    void Answer(const std::string& faultPath, httplib::Response& res, int status, std::string body,
                const std::string& type)
    {
        Fault fault;
        if (hooks.takeFault && hooks.takeFault(faultPath, &fault)) {
            if (fault.delayMs > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(fault.delayMs));
            if (fault.status > 0)
                status = fault.status;
            std::string contentType = type;
            if (fault.replaceBody) {
                body = fault.body;
                contentType = fault.contentType;
            }
            res.status = status;
            if (fault.cut) {
                // The headers (an "Etag" among them) go out whole; the body stops halfway.
                auto shared = std::make_shared<std::string>(body.empty() ? std::string(64, 'x') : body);
                res.set_content_provider(shared->size(), contentType.c_str(),
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
            res.set_content(std::move(body), contentType.c_str());
            return;
        }
        res.status = status;
        res.set_content(std::move(body), type.c_str());
    }

    void Json(const std::string& faultPath, httplib::Response& res, const std::string& body)
    {
        Answer(faultPath, res, 200, body, "application/json;charset=UTF-8");
    }

    bool SignatureValid(const httplib::Request& req, const std::string& method, const std::string& path) const
    {
        const std::string signature = Sign(method, path);
        return req.get_param_value("signature") == signature &&
               req.get_header_value("Authorization") == Authorization(signature);
    }

    void AcquireAccess(const httplib::Request& req, httplib::Response& res)
    {
        const std::string caseNo = req.get_param_value("caseNo");
        if (caseNo.empty()) {
            Json("/cbct/acquireAccess", res, Reply("null", 400, "缺少病例"));
            return;
        }
        std::lock_guard lock(mutex);
        acquireTargets.push_back(req.target);
        if (req.has_param("fileName")) {
            const std::string path = "cbct/" + caseNo + "/" + req.get_param_value("fileName");
            lastPath[caseNo] = path;
            const std::string q = "?path=" + httplib::detail::encode_query_param(path);
            Json("/cbct/acquireAccess", res,
                 Reply("{\"completeMultipartUploadUrl\":" + Quote(Domain() + "/cbct/merge" + q) +
                       ",\"getMultipartUploadUrl\":" + Quote(Domain() + "/cbct/partUrl" + q) +
                       ",\"initUploadIdUrl\":" + Quote(Domain() + "/cbct/initUploadId" + q) +
                       ",\"path\":" + Quote(path) + "}"));
            return;
        }
        // A cancel: signed DELETEs of the case's latest upload, its counter and its error object.
        const auto it = lastPath.find(caseNo);
        const std::string path = it != lastPath.end() ? it->second : "cbct/" + caseNo + "/none";
        // One set of headers serves all three: they are signed by the upload's path.
        const std::string signature = Sign("DELETE", path);
        const auto url = [&](const std::string& p) { return Quote(ObjectUrl(p, "signature=" + signature)); };
        Json("/cbct/acquireAccess", res,
             Reply("{\"deleteMap\":" + SignedHeaders(signature) + ",\"signedUrlDelete\":" + url(path) +
                   ",\"signedUrlDeleteCounter\":" + url(path + ".counter") +
                   ",\"signedUrlDeleteError\":" + url(path + ".error") + "}"));
    }

    void InitUploadId(const httplib::Request& req, httplib::Response& res)
    {
        const std::string path = req.get_param_value("path");
        std::string id;
        {
            std::lock_guard lock(mutex);
            id = "upload-" + std::to_string(nextUploadId++);
            uploads[id].path = path;
        }
        Json("/cbct/initUploadId", res, path.empty() ? Reply("null", 400, "缺少路径") : Reply(Quote(id)));
    }

    void PartUrl(const httplib::Request& req, httplib::Response& res)
    {
        const std::string path = req.get_param_value("path");
        if (!req.has_param("partNumber")) {
            const std::string counter = path + ".counter";
            const std::string signature = Sign("DELETE", counter);
            Json("/cbct/partUrl", res,
                 Reply("{\"deleteMap\":" + SignedHeaders(signature) + ",\"signedUrlDelete\":" +
                       Quote(ObjectUrl(counter, "signature=" + signature)) + "}"));
            return;
        }
        const std::string part = req.get_param_value("partNumber");
        const std::string id = req.get_param_value("uploadId");
        bool known;
        {
            std::lock_guard lock(mutex);
            const auto it = uploads.find(id);
            known = it != uploads.end() && it->second.path == path;
        }
        if (!known || part.empty() || part.find_first_not_of("0123456789") != std::string::npos) {
            Json("/cbct/partUrl", res, Reply("null", 404, "没有这个上传"));
            return;
        }
        const std::string signature = Sign("PUT", path + "#" + part + "#" + id);
        Json("/cbct/partUrl", res,
             Reply("{\"signedUrlUpload\":" +
                   Quote(ObjectUrl(path, "partNumber=" + part + "&uploadId=" +
                                             httplib::detail::encode_query_param(id) + "&signature=" + signature)) +
                   ",\"uploadMap\":" + SignedHeaders(signature) + "}"));
    }

    void Put(const httplib::Request& req, httplib::Response& res, const std::string& path)
    {
        const std::string part = req.get_param_value("partNumber");
        const std::string id = req.get_param_value("uploadId");
        const int number = std::atoi(part.c_str());
        const bool signedOk = SignatureValid(req, "PUT", path + "#" + part + "#" + id);
        const std::string etag = "\"" + Hex64(Fnv(req.body)) + "\"";
        bool stored = false;
        if (signedOk && number > 0 && req.get_header_value("path") == path) {
            std::lock_guard lock(mutex);
            const auto it = uploads.find(id);
            if (it != uploads.end() && it->second.path == path) {
                it->second.parts[number] = discardParts ? std::string() : req.body;
                it->second.etags[number] = etag;
                objects[path + ".counter"] = std::to_string(it->second.parts.size());
                stored = true;
            }
        }
        bool omit;
        {
            std::lock_guard lock(mutex);
            omit = omitEtag;
        }
        if (stored && !omit)
            res.set_header("Etag", etag);
        Answer("/oss/put/" + part, res, stored ? 200 : 403, stored ? "" : "<Error>AccessDenied</Error>",
               "application/xml");
    }

    void Delete(const httplib::Request& req, httplib::Response& res, const std::string& path)
    {
        // The counter is signed on its own; the cancel signs its three objects by the upload's path.
        std::string base = path;
        for (const char* suffix : {".counter", ".error"})
            if (base.size() > std::strlen(suffix) && base.compare(base.size() - std::strlen(suffix),
                                                                  std::string::npos, suffix) == 0)
                base.resize(base.size() - std::strlen(suffix));
        const std::string signature = req.get_param_value("signature");
        const bool allowed = (signature == Sign("DELETE", path) || signature == Sign("DELETE", base)) &&
                             req.get_header_value("Authorization") == Authorization(signature);
        if (allowed) {
            std::lock_guard lock(mutex);
            objects.erase(path);
        }
        Answer("/oss/delete/" + path, res, allowed ? 204 : 403, "", "application/xml");
    }

    void Merge(const httplib::Request& req, httplib::Response& res, const std::string& id,
               const std::string& etagJson)
    {
        const std::string path = req.get_param_value("path");
        std::vector<EtagEntry> entries;
        std::string problem;
        {
            std::lock_guard lock(mutex);
            const auto it = uploads.find(id);
            if (it == uploads.end() || it->second.path != path)
                problem = "没有这个上传";
            else if (!ParseEtagJson(etagJson, &entries))
                problem = "etagJson 无效";
            else if (entries.size() != it->second.parts.size())
                problem = "分片数不符";
            for (size_t i = 0; problem.empty() && i < entries.size(); ++i) {
                const int number = static_cast<int>(i + 1);
                if (entries[i].partNumber != std::to_string(number) || !it->second.parts.count(number) ||
                    (entries[i].hasEtag && entries[i].etag != it->second.etags[number]))
                    problem = "分片 " + std::to_string(number) + " 不符";
            }
            if (problem.empty()) {
                std::string joined;
                for (const auto& [number, bytes] : it->second.parts)
                    joined += bytes;
                objects[path] = std::move(joined);
                uploads.erase(it);
            }
        }
        Json("/cbct/merge", res, problem.empty() ? Reply("true") : Reply("null", 400, problem));
    }
};

CbctService::CbctService(Hooks hooks, std::string prefix) : m_impl(std::make_unique<Impl>())
{
    m_impl->hooks = std::move(hooks);
    m_impl->prefix = std::move(prefix);
}

CbctService::~CbctService() = default;

void CbctService::Routes(httplib::Server& http)
{
    using httplib::Request;
    using httplib::Response;
    Impl* d = m_impl.get();
    const auto get = [&](const std::string& path, void (Impl::*handler)(const Request&, Response&)) {
        http.Get(d->prefix + path, [d, handler](const Request& req, Response& res) {
            d->hooks.record(req);
            (d->*handler)(req, res);
        });
    };
    get("/cbct/acquireAccess", &Impl::AcquireAccess);
    get("/cbct/initUploadId", &Impl::InitUploadId);
    get("/cbct/partUrl", &Impl::PartUrl);
    http.Post(d->prefix + "/cbct/merge", [d](const Request& req, Response& res, const httplib::ContentReader& reader) {
        d->hooks.record(req);
        std::map<std::string, std::string> fields;
        std::string current;
        if (req.is_multipart_form_data())
            reader(
                [&](const httplib::MultipartFormData& part) {
                    current = part.name;
                    fields[current].clear();
                    return true;
                },
                [&](const char* data, size_t n) {
                    fields[current].append(data, n);
                    return true;
                });
        d->Merge(req, res, fields["uploadId"], fields["etagJson"]);
    });
    http.Put(R"(/oss/(.+))", [d](const Request& req, Response& res) {
        d->hooks.record(req);
        d->Put(req, res, httplib::detail::decode_url(req.matches[1], false));
    });
    http.Delete(R"(/oss/(.+))", [d](const Request& req, Response& res) {
        d->hooks.record(req);
        d->Delete(req, res, httplib::detail::decode_url(req.matches[1], false));
    });
}

void CbctService::Reset()
{
    std::lock_guard lock(m_impl->mutex);
    m_impl->objects.clear();
    m_impl->uploads.clear();
    m_impl->lastPath.clear();
    m_impl->acquireTargets.clear();
    m_impl->omitEtag = false;
    m_impl->discardParts = false;
}

std::string CbctService::AcquireAccessUrl(const std::string& caseNo) const
{
    return m_impl->Domain() + "/cbct/acquireAccess?caseNo=" + httplib::detail::encode_query_param(caseNo);
}

std::optional<std::string> CbctService::Object(const std::string& path) const
{
    std::lock_guard lock(m_impl->mutex);
    const auto it = m_impl->objects.find(path);
    if (it == m_impl->objects.end())
        return std::nullopt;
    return it->second;
}

void CbctService::PutObject(const std::string& path, std::string data)
{
    std::lock_guard lock(m_impl->mutex);
    m_impl->objects[path] = std::move(data);
}

void CbctService::SetOmitEtag(bool omit)
{
    std::lock_guard lock(m_impl->mutex);
    m_impl->omitEtag = omit;
}

void CbctService::SetDiscardParts(bool discard)
{
    std::lock_guard lock(m_impl->mutex);
    m_impl->discardParts = discard;
}

std::vector<std::string> CbctService::AcquireTargets() const
{
    std::lock_guard lock(m_impl->mutex);
    return m_impl->acquireTargets;
}

} // namespace standin
