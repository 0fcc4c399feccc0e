// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/render/QvViewOrient.h"

#include "core/geometry/QvLine.h"
#include "core/geometry/QvPlane.h"
#include "core/model/QvJaw.h"
#include "core/model/QvJawRef.h"
#include "core/model/QvModel.h"

bool QvGetViewFrame(const QvModel* model, int orientation, bool horizontal, QvFrame& out)
{
    if (model == nullptr || orientation < 0 || orientation > 7)
        return false;
    const QvJaw* upper = model->GetJaw(true);
    if (upper == nullptr)
        return false;
    const QvFrame& upperFrame = *upper->GetFrame();
    QvJawRef* ref = model->GetJawRef();
    QvPlane middle;
    bool haveMiddle = false;
    {
        QvFrame frame;
        double size = 0.0;
        if (ref != nullptr && ref->GetMiddlePlane(frame, size))
        {
            middle = QvPlane(frame.m_centre, frame.m_dirZ);
            haveMiddle = true;
        }
    }
    QvVector up = upperFrame.m_dirZ;
    QvVector anterior = upperFrame.m_dirX;
    // The anterior direction lies in the mid-sagittal plane wherever it can.
    auto alongMiddle = [&](const QvPlane& plane) {
        QvLine line;
        if (haveMiddle && plane.IntersectPlane(middle, line))
            anterior = line.m_direction;
    };
    if (orientation == 6 || orientation == 7)
    {
        if (const QvJaw* jaw = model->GetJaw(orientation == 6))
        {
            up = jaw->GetFrame()->m_dirZ;
            anterior = jaw->GetFrame()->m_dirX;
            alongMiddle(QvPlane(jaw->GetFrame()->m_centre, up));
        }
    }
    else if (QvPlane view; horizontal && ref != nullptr && haveMiddle && ref->GetViewFrame(model, view))
    {
        up = view.GetNormal();
        alongMiddle(view);
    }
    else
    {
        alongMiddle(QvPlane(upperFrame.m_centre, up));
    }
    // Signs follow the upper jaw, whichever jaw or plane gave the directions.
    if (up.Dot(upperFrame.m_dirZ) < 0.0)
        up = -up;
    if (anterior.Dot(upperFrame.m_dirX) < 0.0)
        anterior = -anterior;
    const QvVector across = up.Cross(anterior);
    const QvPoint origin = model->m_bbox.GetCentre();
    switch (orientation)
    {
    case 2:
        out = QvFrame(origin, anterior, up);
        break;
    case 3:
        out = QvFrame(origin, -anterior, up);
        break;
    case 5:
        out = QvFrame(origin, -across, up);
        break;
    case 6:
        out = QvFrame(origin, across, anterior);
        break;
    case 7:
        out = QvFrame(origin, across, -anterior);
        break;
    default:
        out = QvFrame(origin, across, up);
        break;
    }
    return true;
}
