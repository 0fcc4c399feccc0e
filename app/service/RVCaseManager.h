// SPDX-License-Identifier: GPL-3.0-or-later
// The current case (the one open in the design window) and the relay of two
// requests to the main window: another case is about to open, show the case's images.
#pragma once

#include "app/service/RVCaseInfo.h"

#include <QObject>
#include <QPointer>

#include <memory>

// Both messages optional: the defaults do nothing.
class RVCaseManagerDelegate {
public:
    virtual ~RVCaseManagerDelegate() = default;
    virtual void willSwitchNewCase() {}
    virtual void watchCaseImages() {}
};

class RVCaseManager {
public:
    // Created on first use; GUI thread.
    static RVCaseManager& shared();

    std::shared_ptr<RVCaseInfo> caseInfo() const { return m_caseInfo; }
    void setCaseInfo(std::shared_ptr<RVCaseInfo> info) { m_caseInfo = std::move(info); }
    void clear() { m_caseInfo.reset(); }

    // Held weakly; a QObject that also derives from RVCaseManagerDelegate.
    void setDelegate(QObject* delegate) { m_delegate = delegate; }
    QObject* delegate() const { return m_delegate.data(); }

    // Relayed on the GUI thread; a caller on another thread waits for the relay (and
    // must not hold up the GUI thread meanwhile).
    void willSwitchNewCase();
    void watchCaseImages();

    // Same case number and phase number, and the same phase id when the left case
    // has one; letter case ignored.
    static bool isSmaeCaseWithLeftCase(const RVCaseInfo& left, const RVCaseInfo& right);

private:
    void Relay(void (RVCaseManagerDelegate::*message)());

    std::shared_ptr<RVCaseInfo> m_caseInfo;
    QPointer<QObject> m_delegate;
};
