// SPDX-License-Identifier: GPL-3.0-or-later
// The facade through which the windows reach the request engine. Every handler runs
// on the GUI thread (at once when the reply is handled there already). A reply that
// is the central login page, or an upload reply that says the sign-in has expired,
// ends the request without calling either handler.
#pragma once

#include "app/service/QVNetworkAgent.h"
#include "app/service/QVNetworkUtils.h"

class QVHttpManager {
public:
    using SuccessHandler = QVNetworkAgent::SuccessHandler;
    using ObjectSuccessHandler = QVNetworkAgent::ObjectSuccessHandler;
    using FailureHandler = QVNetworkAgent::FailureHandler;
    using ProgressHandler = QVNetworkAgent::ProgressHandler;

    // Sets the engine's time-out to 15 s and starts reachability monitoring, once.
    // Every operation below calls it; it needs the application object.
    static void setUp();

    // isSyncRequest is accepted and ignored: the operations return at once.
    static quint64 requestObjectWithURLString(const QString& url, int method, const QVariantMap& param,
                                              bool isSyncRequest, SuccessHandler success, FailureHandler failure);
    // Success receives an object of the class, or none when the JSON does not map;
    // a body that is not JSON (or empty) fails, the latter with no error object.
    static quint64 requestObjectWithURLString(const QString& url, int method, const QVariantMap& param,
                                              const QVModelClass& modelClass, bool isSyncRequest,
                                              ObjectSuccessHandler success, FailureHandler failure);
    static quint64 uploadImageWithURLString(const QString& url, const std::vector<QVUploadFile>& files,
                                            const QVariantMap& param, const QVModelClass& modelClass,
                                            ProgressHandler progress, ObjectSuccessHandler success,
                                            FailureHandler failure);

    // The reply says the sign-in has expired: a QVBaseVo whose status code is
    // "9999" or "2022".
    static bool isTokenUnavail(const QVModel* object);

    // The login-page test: an HTML reply whose body holds "loginForm".
    static bool isLoginPage(const QVHTTPResponse& response, const QByteArray& body);
};
