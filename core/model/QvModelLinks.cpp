// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/model/QvModelLinks.h"

namespace {

QvImageMeasureOps& Ops()
{
    static QvImageMeasureOps ops;
    return ops;
}

} // namespace

bool QvSetImageMeasureOps(const QvImageMeasureOps& ops)
{
    if (!ops.IsComplete())
        return false;
    Ops() = ops;
    return true;
}

const QvImageMeasureOps& QvGetImageMeasureOps() { return Ops(); }

void QvResetImageMeasureOps() { Ops() = QvImageMeasureOps{}; }
