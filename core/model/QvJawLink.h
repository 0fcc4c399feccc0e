// SPDX-License-Identifier: GPL-3.0-or-later
// The non-owning reference from a tooth, gum or tooth list to its jaw. The jaw knows
// every link bound to it and clears them when it is destroyed, so no part is ever
// left pointing at a dead jaw.
#pragma once

class QvJaw;

class QvJawLink
{
public:
    QvJawLink() = default;
    explicit QvJawLink(QvJaw* jaw) { Reset(jaw); }
    // A copy is bound to the same jaw (and registered with it).
    QvJawLink(const QvJawLink& other) { Reset(other.m_pJaw); }
    QvJawLink& operator=(const QvJawLink& other)
    {
        if (this != &other)
            Reset(other.m_pJaw);
        return *this;
    }
    ~QvJawLink() { Reset(nullptr); }

    QvJaw* Get() const { return m_pJaw; }
    // Unbinds from the present jaw and binds to jaw (null: unbound).
    void Reset(QvJaw* jaw);

private:
    friend class QvJaw;
    QvJaw* m_pJaw = nullptr;
};
