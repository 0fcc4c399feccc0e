// SPDX-License-Identifier: GPL-3.0-or-later
// The receiver lists of the view hubs: receivers are held weakly, in registration
// order, once each; one that went away is skipped by broadcasts and dropped at the
// next registration. Broadcasts go over a snapshot, so a receiver may register or
// leave while one runs.
#pragma once

#include <memory>
#include <vector>

template <typename Receiver>
class RVDMWeakList {
public:
    // Compacts, then appends unless the receiver is listed already. Null is ignored.
    void add(const std::shared_ptr<Receiver>& receiver)
    {
        std::erase_if(m_entries, [](const std::weak_ptr<Receiver>& e) { return e.expired(); });
        if (!receiver)
            return;
        for (const std::weak_ptr<Receiver>& entry : m_entries)
            if (entry.lock() == receiver)
                return;
        m_entries.push_back(receiver);
    }
    // Removes the first entry of that receiver.
    void remove(const Receiver* receiver)
    {
        for (auto it = m_entries.begin(); it != m_entries.end(); ++it)
            if (it->lock().get() == receiver) {
                m_entries.erase(it);
                return;
            }
    }
    // The receivers alive now, in registration order.
    std::vector<std::shared_ptr<Receiver>> snapshot() const
    {
        std::vector<std::shared_ptr<Receiver>> out;
        for (const std::weak_ptr<Receiver>& entry : m_entries)
            if (std::shared_ptr<Receiver> receiver = entry.lock())
                out.push_back(std::move(receiver));
        return out;
    }
    // Entries, gone receivers included.
    std::size_t size() const { return m_entries.size(); }
    void clear() { m_entries.clear(); }

private:
    std::vector<std::weak_ptr<Receiver>> m_entries;
};
