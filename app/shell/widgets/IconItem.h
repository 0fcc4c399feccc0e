// SPDX-License-Identifier: GPL-3.0-or-later
// One icon of an icon menu: the name of a PNG resource (without ".png"; null when
// not set) and the text shown for it. A plain value.
#pragma once

#include <QString>

class IconItem {
public:
    IconItem() = default;
    IconItem(QString iconName, QString tooltipName)
        : m_iconName(std::move(iconName)), m_tooltipName(std::move(tooltipName))
    {
    }
    static IconItem iconItemWithIconName(const QString& iconName, const QString& tooltipName)
    {
        return IconItem(iconName, tooltipName);
    }

    const QString& iconName() const { return m_iconName; }
    const QString& tooltipName() const { return m_tooltipName; }
    void setIconName(const QString& name) { m_iconName = name; }
    void setTooltipName(const QString& name) { m_tooltipName = name; }

    bool operator==(const IconItem&) const = default;

private:
    QString m_iconName;
    QString m_tooltipName;
};
