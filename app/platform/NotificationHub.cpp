// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/platform/NotificationHub.h"

#include <algorithm>

namespace platform {

NotificationHub& NotificationHub::Shared()
{
    static NotificationHub hub;
    return hub;
}

void NotificationHub::AddObserver(QObject* observer, const QString& name, Handler handler)
{
    if (!observer || !handler)
        return;
    std::lock_guard lock(m_mutex);
    m_entries.push_back({observer, name, std::move(handler), m_nextId++});
}

void NotificationHub::RemoveObserver(QObject* observer, const QString& name)
{
    std::lock_guard lock(m_mutex);
    std::erase_if(m_entries, [&](const Entry& e) {
        return e.observer.isNull() || (e.observer == observer && (name.isEmpty() || e.name == name));
    });
}

void NotificationHub::Post(const QString& name, const QVariantMap& userInfo)
{
    std::vector<Entry> snapshot;
    {
        std::lock_guard lock(m_mutex);
        std::erase_if(m_entries, [](const Entry& e) { return e.observer.isNull(); });
        for (const Entry& e : m_entries)
            if (e.name == name)
                snapshot.push_back(e);
    }
    for (const Entry& e : snapshot) {
        // An observer destroyed by an earlier handler of this post is skipped too.
        if (e.observer.isNull() || !StillObserving(e.id))
            continue;
        e.handler(userInfo);
    }
}

bool NotificationHub::StillObserving(quint64 id)
{
    std::lock_guard lock(m_mutex);
    return std::any_of(m_entries.begin(), m_entries.end(), [id](const Entry& e) { return e.id == id; });
}

int NotificationHub::ObserverCount(const QString& name)
{
    std::lock_guard lock(m_mutex);
    return static_cast<int>(std::count_if(m_entries.begin(), m_entries.end(),
                                          [&](const Entry& e) { return !e.observer.isNull() && e.name == name; }));
}

} // namespace platform
