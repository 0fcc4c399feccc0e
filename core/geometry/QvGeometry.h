// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Common base of the simple shapes, so that fitted shapes can be deleted through it.
class QvGeometry
{
public:
    QvGeometry() = default;
    QvGeometry(const QvGeometry&) = default;
    QvGeometry& operator=(const QvGeometry&) = default;
    virtual ~QvGeometry() = default;
};
