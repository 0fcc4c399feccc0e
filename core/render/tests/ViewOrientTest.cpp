// SPDX-License-Identifier: GPL-3.0-or-later
// The case's predefined view orientations, checked on the demo dentition: where its
// teeth land on the screen in each orientation.
#include <gtest/gtest.h>

#include <cmath>

#include "core/model/QvJaw.h"
#include "core/model/QvJawRef.h"
#include "core/model/QvModel.h"
#include "core/model/QvTooth.h"
#include "core/render/QvViewOrient.h"
#include "testing/DemoDentition.h"

namespace {

QvPoint CentreOf(const QvModel& model, int fdi)
{
    for (QvEntity* entity : model.m_teeth)
        if (static_cast<const QvTooth*>(entity)->GetFdi() == fdi)
            return static_cast<const QvTooth*>(entity)->GetFrame()->m_centre;
    ADD_FAILURE() << "no tooth " << fdi;
    return QvPoint();
}

// Screen coordinates (X right, Y up, Z towards the viewer) of a model point.
QvVector OnScreen(const QvFrame& f, const QvPoint& p)
{
    const QvVector d = p - f.m_centre;
    return QvVector(d.Dot(f.m_dirX), d.Dot(f.m_dirY), d.Dot(f.m_dirZ));
}

class ViewOrient : public ::testing::Test
{
protected:
    void SetUp() override
    {
        qvtest::DentitionOptions options;
        options.facesPerTooth = 200;
        qvtest::GenerateDentition(m_model, options);
    }
    QvModel m_model;
};

// Front view: the patient's right (tooth 11) on the screen's left, the upper incisors
// above the lower, the incisors nearer the viewer than the molars. Side, back and
// occlusal views as the right-side button, the left-side button and the jaws give them.
TEST_F(ViewOrient, TeethLandWhereEachOrientationShowsThem)
{
    struct Row
    {
        int orientation;
        int a, b; // tooth a lies towards the screen direction from tooth b
        int axis; // 0 screen X, 1 screen Y, 2 towards the viewer
    };
    const Row rows[] = {
        {4, 21, 11, 0}, {4, 11, 41, 1}, {4, 11, 16, 2}, {0, 21, 11, 0}, {1, 11, 41, 1},
        {2, 11, 16, 0}, {2, 16, 26, 2}, {2, 11, 41, 1}, // right side: anterior to the right
        {3, 16, 11, 0}, {3, 26, 16, 2},                 // left side: anterior to the left
        {5, 11, 21, 0}, {5, 16, 11, 2},                 // back: the patient's right on the right
        {6, 11, 16, 1}, {6, 21, 11, 0}, {6, 41, 11, 2}, // upper occlusal: incisors on top, seen from below
        {7, 46, 41, 1}, {7, 31, 41, 0}, {7, 11, 41, 2}, // lower occlusal: incisors at the bottom, from above
    };
    for (const Row& r : rows)
    {
        SCOPED_TRACE(::testing::Message() << "orientation " << r.orientation << ": " << r.a << " vs " << r.b);
        QvFrame frame;
        ASSERT_TRUE(QvGetViewFrame(&m_model, r.orientation, false, frame));
        EXPECT_NEAR((frame.m_dirX.Cross(frame.m_dirY) - frame.m_dirZ).Length(), 0.0, 1e-9);
        const QvVector d = OnScreen(frame, CentreOf(m_model, r.a)) - OnScreen(frame, CentreOf(m_model, r.b));
        EXPECT_GT(d[r.axis], 2.0);
    }
}

TEST_F(ViewOrient, NoFrameWithoutUpperJawOrOutsideTheRange)
{
    QvFrame frame;
    EXPECT_FALSE(QvGetViewFrame(nullptr, 4, false, frame));
    EXPECT_FALSE(QvGetViewFrame(&m_model, 8, false, frame));
    EXPECT_FALSE(QvGetViewFrame(&m_model, -1, false, frame));
    QvModel empty;
    EXPECT_FALSE(QvGetViewFrame(&empty, 4, false, frame));
}

// A mid-sagittal plane turned about the vertical carries the anterior direction with
// it; without the plane the jaw's own X serves.
TEST_F(ViewOrient, AnteriorFollowsTheMidSagittalPlane)
{
    QvFrame front;
    ASSERT_TRUE(QvGetViewFrame(&m_model, 2, false, front));
    EXPECT_NEAR(front.m_dirX.Dot(m_model.GetJaw(true)->GetFrame()->m_dirX), 1.0, 1e-9);
    const double a = 0.2;
    // Plane frame: its Z is the plane's normal, here the patient's right turned by a.
    const QvFrame mid(QvPoint(0.0, -25.0, 0.0), QvVector(-std::sin(a), std::cos(a), 0.0), QvVector(0.0, 0.0, 1.0));
    m_model.GetJawRef()->SetMiddlePlane(mid, {}, 70.0);
    QvFrame turned;
    ASSERT_TRUE(QvGetViewFrame(&m_model, 2, false, turned));
    EXPECT_NEAR(turned.m_dirX.Dot(mid.m_dirX), 1.0, 1e-9);
    EXPECT_NEAR(turned.m_dirY.Dot(QvVector(0.0, 0.0, 1.0)), 1.0, 1e-9);
}

} // namespace
