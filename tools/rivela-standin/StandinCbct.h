// SPDX-License-Identifier: GPL-3.0-or-later
// The CBCT side of the stand-in: the acquire-access URL that names the endpoints of
// an upload (or, without a file name, the signed DELETEs of a cancel), upload ids,
// signed part URLs, an object store that takes part PUTs and answers an "Etag", the
// merge that checks the ETag list and joins the parts, and signed DELETEs.
//
// Addresses (under the business domain):
//   GET  /cbct/acquireAccess?caseNo=N[&fileName=F]
//   GET  /cbct/initUploadId?path=P
//   GET  /cbct/partUrl?path=P[&partNumber=K&uploadId=U]
//   POST /cbct/merge?path=P          multipart "uploadId", "etagJson"
// and, beside the business domain, the object store:
//   PUT    /oss/P?partNumber=K&uploadId=U&signature=S   (headers of "uploadMap", "path")
//   DELETE /oss/P?signature=S                           (headers of "deleteMap")
// Faults (Server::SetFault) apply per request: "/cbct/acquireAccess", "/cbct/initUploadId",
// "/cbct/partUrl", "/cbct/merge", "/oss/put/K" for the PUT of part K and
// "/oss/delete/P" for the DELETE of object P.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace httplib {
class Server;
struct Request;
} // namespace httplib

namespace standin {

struct Fault;

class CbctService {
public:
    struct Hooks {
        std::function<void(const httplib::Request&)> record;           // into the server's log
        std::function<bool(const std::string& path, Fault*)> takeFault; // used up by one reply
        std::function<std::string()> origin;                           // "http://127.0.0.1:PORT"
    };

    CbctService(Hooks hooks, std::string prefix);
    ~CbctService();
    CbctService(const CbctService&) = delete;
    CbctService& operator=(const CbctService&) = delete;

    void Routes(httplib::Server& http);
    void Reset();

    // The acquire-access URL the page would give for the case (it carries a query).
    std::string AcquireAccessUrl(const std::string& caseNo) const;
    // Bytes of a stored object (a merged upload, a counter or an error object).
    std::optional<std::string> Object(const std::string& path) const;
    void PutObject(const std::string& path, std::string data);
    // Part PUTs are answered without an "Etag" header while set.
    void SetOmitEtag(bool omit);
    // Part bytes are dropped on arrival while set (benchmarks: the store's memory is not the client's).
    void SetDiscardParts(bool discard);
    // Raw request targets of the acquire-access URL, in order.
    std::vector<std::string> AcquireTargets() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace standin
