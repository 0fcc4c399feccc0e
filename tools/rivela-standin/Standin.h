// SPDX-License-Identifier: GPL-3.0-or-later
// A stand-in for the case service, its case-list page and the central login service
// (StandinLogin.h), on 127.0.0.1 only. It
// serves the demo case's files from a folder as five cases (one per model kind, one
// at the approval step), answers every endpoint the client calls under "/rvmds",
// keeps uploads and serves them back, logs every request, and fails on demand per
// path: a delay, a status, bad JSON, "status" as text, null "data", the login page,
// a body cut off midway, or any reply text.
//
// Faults are set in-process (SetFault) or over HTTP:
//   POST /__control/fault  path=/restful/getCaseInfo.htm kind=delay|status|badjson|
//        statustext|nulldata|login|cut|body|hang|badxml|nolocation [ms=N] [code=N]
//        [body=TEXT] [type=MIME]
//        [times=N]
//   POST /__control/reset  (faults, log and uploads)
//   GET  /__control/log    one request a line: "METHOD RAW-TARGET [part names]"
// Paths of faults are those under the business domain, without "/rvmds".
#pragma once

#include "tools/rivela-standin/StandinLogin.h"

#include <memory>
#include <string>
#include <vector>

namespace standin {

class CbctService;

struct Fault {
    int delayMs = 0;         // before the reply
    int status = 0;          // 0: the endpoint's own
    std::string body;        // replaces the endpoint's reply when set
    bool replaceBody = false;
    std::string contentType; // with body
    bool cut = false;        // announces the whole length, sends half, drops the connection
    bool hang = false;       // never answers (until the server stops)
    bool noLocation = false; // the reply loses its "Location" header
    int times = -1;          // replies it applies to; -1 for ever
};

// The fault of a named kind; false for an unknown kind.
bool MakeFault(const std::string& kind, int ms, int code, const std::string& body, const std::string& type,
               Fault* fault);

class Server {
public:
    // caseDir holds demo-model.zip, demo-1.RVS, demo.OS and demo-3.RVS (missing files
    // answer 404 when fetched).
    explicit Server(std::string caseDir);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Binds 127.0.0.1 on a free port and serves on a thread of its own; the port, or
    // -1 when it cannot bind.
    int Start();
    void Stop();
    int Port() const;
    // "http://127.0.0.1:PORT/rvmds": the business domain to give resetDomain.
    std::string Domain() const;

    void SetFault(const std::string& path, const Fault& fault);
    void Reset();
    std::vector<std::string> Log() const;
    // The login service's data: discovery hosts, captchas.
    LoginSide& Login();
    // The CBCT endpoints and object store (StandinCbct.h).
    CbctService& Cbct();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace standin
