// SPDX-License-Identifier: GPL-3.0-or-later
// In-process notifications by name. Observers are held weakly: an observer object
// that has been destroyed is skipped and forgotten, never called.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantMap>

#include <functional>
#include <mutex>
#include <vector>

namespace platform {

// The names the windows and the request engine post.
namespace notifications {
inline const QString kCreateNewScheme = QStringLiteral("NOTIFICATION_NAME_CREATE_NEWSCHEME");
inline const QString kApproveSchemeNewSchemeQuit = QStringLiteral("APPROVESCHEME_NEWSCHEME_QUIT");
inline const QString kWebRefreshCaseDetail = QStringLiteral("WebRefreshCaseDetailNotificationName");
inline const QString kMonitoringNoNet = QStringLiteral("monitoringNONet");
inline const QString kNetworkDidChange = QStringLiteral("QVNetworkDidChanged");
} // namespace notifications

class NotificationHub {
public:
    using Handler = std::function<void(const QVariantMap& userInfo)>;

    // The process-wide hub.
    static NotificationHub& Shared();

    // Calls the handler for every post of the name while the observer lives. One
    // observer may observe several names, and a name several times.
    void AddObserver(QObject* observer, const QString& name, Handler handler);
    // Forgets every observation of the observer (of one name when given).
    void RemoveObserver(QObject* observer, const QString& name = {});

    // Calls, on the posting thread and in the order they were added, the handlers of
    // the observers of the name that still live. Handlers may add or remove observers;
    // one removed by an earlier handler of the same post is not called.
    void Post(const QString& name, const QVariantMap& userInfo = {});

    int ObserverCount(const QString& name);

private:
    struct Entry {
        QPointer<QObject> observer;
        QString name;
        Handler handler;
        quint64 id;
    };
    bool StillObserving(quint64 id);

    std::mutex m_mutex;
    quint64 m_nextId = 1;
    std::vector<Entry> m_entries;
};

} // namespace platform
