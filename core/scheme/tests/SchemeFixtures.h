// SPDX-License-Identifier: GPL-3.0-or-later
// A small case for the scheme tests: a model with teeth of both jaws (each with a
// frame away from the world axes), placement builders and matrix comparisons.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "core/model/QvJaw.h"
#include "core/model/QvModel.h"
#include "core/model/QvTooth.h"
#include "core/model/QvVirtualTooth.h"
#include "core/scheme/QvScheme.h"

namespace qvschemetest {

inline QvMatrix Identity()
{
    QvMatrix m(4, 4);
    m.SetIdentity();
    return m;
}

// Rotation by degrees about axis through the origin, then translation by (x, y, z).
inline QvMatrix Placement(const QvVector& axis, double degrees, double x = 0.0, double y = 0.0, double z = 0.0)
{
    const QvMatrix r(axis, degrees * 3.14159265358979323846 / 180.0);
    QvMatrix m = Identity();
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            m[i][j] = r[i][j];
    m[0][3] = x;
    m[1][3] = y;
    m[2][3] = z;
    return m;
}

inline QvMatrix Translation(double x, double y, double z) { return Placement(QvVector(0, 0, 1), 0.0, x, y, z); }

inline double MaxDifference(const QvMatrix& a, const QvMatrix& b)
{
    if (a.m_row != b.m_row || a.m_col != b.m_col)
        return INFINITY;
    double most = 0.0;
    for (int i = 0; i < a.m_row * a.m_col; ++i)
        most = std::max(most, std::fabs(a.m_pData[i] - b.m_pData[i]));
    return most;
}

inline ::testing::AssertionResult Near(const QvMatrix& a, const QvMatrix& b, double tolerance = 1e-9)
{
    const double d = MaxDifference(a, b);
    if (d <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "matrices differ by " << d;
}

inline bool IsFinite(const QvMatrix& m)
{
    for (int i = 0; i < m.m_row * m.m_col; ++i)
        if (!std::isfinite(m.m_pData[i]))
            return false;
    return true;
}

// A case model with the given FDI numbers, bound to an upper and a lower jaw whose
// Z axes point up and down. Tooth frames sit at distinct places, turned off the axes.
class SchemeCase
{
public:
    explicit SchemeCase(const std::vector<int>& fdis = {11, 21, 31, 41})
    {
        QvEntity::SetNextId(100);
        upperJaw = new QvJaw();
        upperJaw->SetUpper(true);
        upperJaw->SetFrame(QvFrame(QvPoint(0, 0, 0), QvVector(1, 0, 0), QvVector(0, 1, 0)));
        lowerJaw = new QvJaw();
        lowerJaw->SetUpper(false);
        lowerJaw->SetFrame(QvFrame(QvPoint(0, 0, 0), QvVector(1, 0, 0), QvVector(0, -1, 0)));
        model.AddEntity(upperJaw);
        model.AddEntity(lowerJaw);
        for (std::size_t i = 0; i < fdis.size(); ++i)
            AddTooth(fdis[i], static_cast<double>(i));
        scheme = std::make_unique<QvScheme>();
        scheme->SetModel(&model);
    }
    ~SchemeCase()
    {
        scheme.reset();
        QvSetSchemeAttachLink(nullptr);
    }

    QvTooth* AddTooth(int fdi, double offset, int state = kQvToothOrdinary)
    {
        auto* tooth = new QvTooth();
        tooth->SetFdi(fdi);
        tooth->SetState(state);
        tooth->SetJaw(FdiIsUpper(fdi) ? upperJaw : lowerJaw);
        QvFrame frame(QvPoint(3.0 * offset + 1.0, 2.0 - offset, 0.5 * offset), QvVector(1.0, 0.2, 0.1),
                      QvVector(-0.2, 1.0, 0.05));
        frame.SetAxes(frame.m_dirX, frame.m_dirZ.Cross(frame.m_dirX));
        tooth->SetFrame(frame);
        model.AddEntity(tooth);
        teeth.push_back(tooth);
        return tooth;
    }

    // A virtual tooth of the scheme in the jaw of fdi, with an own placement.
    QvVirtualTooth* AddVirtualTooth(int fdi, const QvMatrix& own)
    {
        auto* tooth = new QvVirtualTooth();
        tooth->m_nFdi = fdi;
        tooth->SetJaw(FdiIsUpper(fdi) ? upperJaw : lowerJaw);
        tooth->SetFrame(QvFrame(QvPoint(-2, 1, 0), QvVector(1, 0, 0), QvVector(0, 1, 0)));
        tooth->m_matrix = own;
        scheme->m_virtualTeeth.push_back(tooth);
        return tooth;
    }

    QvTooth* Tooth(int fdi) const { return model.FindTooth(fdi); }

    QvModel model;
    QvJaw* upperJaw = nullptr;
    QvJaw* lowerJaw = nullptr;
    std::vector<QvTooth*> teeth;
    std::unique_ptr<QvScheme> scheme;
};

// Every list holds only steps of its own number, bound to it, with at most one step
// per tooth; every stored matrix is a finite 4 x 4 matrix.
inline ::testing::AssertionResult Consistent(const QvScheme& scheme)
{
    for (std::size_t i = 0; i < scheme.m_stepLists.size(); ++i)
    {
        const QvTreatStepList* list = scheme.m_stepLists[i];
        std::vector<const QvToothBase*> seen;
        for (const QvTreatStep* step : list->m_steps)
        {
            if (step->m_nStep != static_cast<int>(i))
                return ::testing::AssertionFailure() << "step numbered " << step->m_nStep << " in list " << i;
            if (step->m_pStepList != list)
                return ::testing::AssertionFailure() << "step of list " << i << " bound elsewhere";
            if (!step->m_pTooth)
                return ::testing::AssertionFailure() << "null tooth in list " << i;
            if (std::find(seen.begin(), seen.end(), step->m_pTooth) != seen.end())
                return ::testing::AssertionFailure() << "two steps of one tooth in list " << i;
            seen.push_back(step->m_pTooth);
            if (step->m_matrix.m_row != 4 || step->m_matrix.m_col != 4 || !IsFinite(step->m_matrix))
                return ::testing::AssertionFailure() << "bad matrix in list " << i;
        }
    }
    return ::testing::AssertionSuccess();
}

// The step numbers and types of a tooth, in step order.
inline std::vector<std::pair<int, int>> StepsOf(const QvScheme& scheme, const QvToothBase* tooth)
{
    std::vector<QvTreatStep*> steps;
    scheme.GetToothSteps(tooth, steps);
    std::vector<std::pair<int, int>> out;
    for (const QvTreatStep* step : steps)
        out.emplace_back(step->m_nStep, step->m_nType);
    return out;
}

} // namespace qvschemetest
