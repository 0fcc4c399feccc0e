// SPDX-License-Identifier: GPL-3.0-or-later
// For the case-file tests: comparison of two case models, and stand-ins for the
// libraries above the model (image measures, schemes) installed through their links.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "core/geometry/QvStreamIO.h"
#include "core/model/QvAirway.h"
#include "core/model/QvFileBodyLinks.h"
#include "core/model/QvGum.h"
#include "core/model/QvHingeAxis.h"
#include "core/model/QvJaw.h"
#include "core/model/QvJawBone.h"
#include "core/model/QvJawRef.h"
#include "core/model/QvModel.h"
#include "core/model/QvModelLinks.h"
#include "core/model/QvPatientInfo.h"
#include "core/model/QvRoot.h"
#include "core/model/QvTooth.h"
#include "core/model/QvToothRef.h"

namespace qvcasetest {

inline void ExpectSameMesh(const QvMesh& a, const QvMesh& b)
{
    EXPECT_EQ(a.m_id, b.m_id);
    ASSERT_EQ(a.m_vertices.size(), b.m_vertices.size());
    ASSERT_EQ(a.m_faces.size(), b.m_faces.size());
    for (std::size_t i = 0; i < a.m_vertices.size(); ++i)
        for (int k = 0; k < 3; ++k)
            ASSERT_EQ(a.m_vertices[i].m_point.m_coord[k], b.m_vertices[i].m_point.m_coord[k]) << "vertex " << i;
    for (std::size_t i = 0; i < a.m_faces.size(); ++i)
    {
        for (int k = 0; k < 3; ++k)
            ASSERT_EQ(a.m_faces[i].m_vertices[k], b.m_faces[i].m_vertices[k]) << "face " << i;
        ASSERT_EQ(a.m_faces[i].m_tag, b.m_faces[i].m_tag) << "face " << i;
    }
}

inline void ExpectSamePlane(const QvRefPlane* a, const QvRefPlane* b)
{
    ASSERT_EQ(a == nullptr, b == nullptr);
    if (!a)
        return;
    EXPECT_TRUE(a->m_frame == b->m_frame);
    EXPECT_EQ(a->m_dSize, b->m_dSize);
    ASSERT_EQ(a->m_points.size(), b->m_points.size());
    for (std::size_t i = 0; i < a->m_points.size(); ++i)
        EXPECT_EQ(a->m_points[i], b->m_points[i]);
}

// Everything a case document stores: jaws, teeth with roots and reference data, gums,
// jaw bones, hinge axis, airway, reference planes, patient texts and the ids.
inline void ExpectSameCase(const QvModel& a, const QvModel& b)
{
    ASSERT_EQ(a.m_jaws.size(), b.m_jaws.size());
    for (std::size_t i = 0; i < a.m_jaws.size(); ++i)
    {
        const auto* x = static_cast<const QvJaw*>(a.m_jaws[i]);
        const auto* y = static_cast<const QvJaw*>(b.m_jaws[i]);
        EXPECT_EQ(x->GetID(), y->GetID());
        EXPECT_EQ(x->IsUpper(), y->IsUpper());
        EXPECT_TRUE(x->m_frame == y->m_frame);
        EXPECT_EQ(b.FindEntity(y->GetID()), y);
    }
    ASSERT_EQ(a.m_teeth.size(), b.m_teeth.size());
    for (std::size_t i = 0; i < a.m_teeth.size(); ++i)
    {
        const auto* x = static_cast<const QvTooth*>(a.m_teeth[i]);
        const auto* y = static_cast<const QvTooth*>(b.m_teeth[i]);
        SCOPED_TRACE(x->GetFdi());
        ExpectSameMesh(*x, *y);
        EXPECT_EQ(x->GetFdi(), y->GetFdi());
        EXPECT_EQ(x->GetState(), y->GetState());
        EXPECT_TRUE(x->m_frame == y->m_frame);
        ASSERT_NE(y->GetJaw(), nullptr);
        EXPECT_EQ(x->GetJaw()->GetID(), y->GetJaw()->GetID());
        EXPECT_EQ(b.FindEntity(y->GetID()), y);
        ASSERT_EQ(x->GetRoot() == nullptr, y->GetRoot() == nullptr);
        if (x->GetRoot())
        {
            ExpectSameMesh(*x->GetRoot(), *y->GetRoot());
            EXPECT_EQ(y->GetRoot()->GetOwner(), y);
        }
        ASSERT_EQ(x->GetToothRef() == nullptr, y->GetToothRef() == nullptr);
        if (x->GetToothRef())
        {
            const auto& p = x->GetToothRef()->m_featurePoints;
            const auto& q = y->GetToothRef()->m_featurePoints;
            ASSERT_EQ(p.size(), q.size());
            for (std::size_t k = 0; k < p.size(); ++k)
            {
                EXPECT_EQ(p[k].m_nVertex, q[k].m_nVertex);
                EXPECT_EQ(p[k].m_nKey, q[k].m_nKey);
            }
            EXPECT_EQ(y->GetToothRef()->GetTooth(), y);
        }
    }
    ASSERT_EQ(a.m_gums.size(), b.m_gums.size());
    for (std::size_t i = 0; i < a.m_gums.size(); ++i)
    {
        const auto* x = static_cast<const QvGum*>(a.m_gums[i]);
        const auto* y = static_cast<const QvGum*>(b.m_gums[i]);
        EXPECT_EQ(x->GetID(), y->GetID());
        ASSERT_NE(y->GetJaw(), nullptr);
        EXPECT_EQ(x->GetJaw()->GetID(), y->GetJaw()->GetID());
    }
    ASSERT_EQ(a.m_jawBones.size(), b.m_jawBones.size());
    for (std::size_t i = 0; i < a.m_jawBones.size(); ++i)
    {
        const auto* x = static_cast<const QvJawBone*>(a.m_jawBones[i]);
        const auto* y = static_cast<const QvJawBone*>(b.m_jawBones[i]);
        ExpectSameMesh(*x, *y);
        EXPECT_EQ(x->IsUpper(), y->IsUpper());
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c)
                EXPECT_EQ(x->m_matrix[r][c], y->m_matrix[r][c]);
    }
    ASSERT_EQ(a.GetHingeAxis() == nullptr, b.GetHingeAxis() == nullptr);
    if (a.GetHingeAxis())
    {
        EXPECT_EQ(a.GetHingeAxis()->GetID(), b.GetHingeAxis()->GetID());
        EXPECT_EQ(a.GetHingeAxis()->m_first, b.GetHingeAxis()->m_first);
        EXPECT_EQ(a.GetHingeAxis()->m_second, b.GetHingeAxis()->m_second);
    }
    ASSERT_EQ(a.GetAirway() == nullptr, b.GetAirway() == nullptr);
    if (a.GetAirway())
    {
        ExpectSameMesh(*a.GetAirway(), *b.GetAirway());
        EXPECT_TRUE(a.GetAirway()->m_frame == b.GetAirway()->m_frame);
        EXPECT_EQ(a.GetAirway()->m_curve.m_ctrlPoints.size(), b.GetAirway()->m_curve.m_ctrlPoints.size());
        EXPECT_EQ(a.GetAirway()->m_curve.m_knots.m_values, b.GetAirway()->m_curve.m_knots.m_values);
        EXPECT_EQ(b.FindEntity(b.GetAirway()->GetID()), b.GetAirway());
    }
    ASSERT_EQ(a.GetJawRef() == nullptr, b.GetJawRef() == nullptr);
    if (a.GetJawRef())
    {
        ExpectSamePlane(a.GetJawRef()->m_pMiddlePlane, b.GetJawRef()->m_pMiddlePlane);
        ExpectSamePlane(a.GetJawRef()->m_pBeautyPlane, b.GetJawRef()->m_pBeautyPlane);
        if (a.GetJawRef()->m_pBeautyPlane && b.GetJawRef()->m_pBeautyPlane)
        {
            EXPECT_EQ(a.GetJawRef()->m_pBeautyPlane->m_lipPoints.size(),
                      b.GetJawRef()->m_pBeautyPlane->m_lipPoints.size());
        }
    }
    const QvPatientInfo* p = a.GetPatientInfo();
    const QvPatientInfo* q = b.GetPatientInfo();
    ASSERT_TRUE(p && q);
    EXPECT_EQ(p->m_text1, q->m_text1);
    EXPECT_EQ(p->m_text3, q->m_text3);
    EXPECT_EQ(p->m_nPlan, q->m_nPlan);
    EXPECT_EQ(p->m_title, q->m_title);
}

// ---- Image measures: a record of one int32 ---------------------------------------

struct FakeMeasure
{
    int type = 0;
    bool flag = false;
    int value = 0;
};

inline FakeMeasure* AsFake(QvImageMeasure* m) { return reinterpret_cast<FakeMeasure*>(m); }
inline const FakeMeasure* AsFake(const QvImageMeasure* m) { return reinterpret_cast<const FakeMeasure*>(m); }

inline void InstallFakeImageMeasures(bool withReader)
{
    QvImageMeasureOps ops;
    ops.create = [](int type) { return reinterpret_cast<QvImageMeasure*>(new FakeMeasure{type}); };
    ops.destroy = [](QvImageMeasure* m) { delete AsFake(m); };
    ops.getType = [](const QvImageMeasure* m) { return AsFake(m)->type; };
    ops.getImageKind = [](const QvImageMeasure*) { return 1; };
    ops.getFlag = [](const QvImageMeasure* m) { return AsFake(m)->flag; };
    ops.setFlag = [](QvImageMeasure* m, bool flag) { AsFake(m)->flag = flag; };
    ops.clearImageReferences = [] {};
    if (withReader)
        ops.read = [](QvImageMeasure* m, std::istream& is, int, QvModel*) {
            std::int32_t v = 0;
            if (!qvio::ReadI32(is, v))
                return false;
            AsFake(m)->value = v;
            return true;
        };
    QvSetImageMeasureOps(ops);
}

// ---- Schemes: a scheme is one int32 ----------------------------------------------

struct FakeScheme
{
    std::int32_t value = 0;
};

struct FakeSchemeLog
{
    int defaultSchemes = 0;
    int documentReads = 0;
    std::vector<std::int32_t> documentSchemes;
    QvModel* lastOwner = nullptr;
};

inline FakeScheme* AsFake(QvScheme* s) { return reinterpret_cast<FakeScheme*>(s); }
inline const FakeScheme* AsFake(const QvScheme* s) { return reinterpret_cast<const FakeScheme*>(s); }

// The document section: int32 count, then per scheme one int32; it writes a single
// scheme holding 77. A scheme value of -1 fails its read.
class FakeSchemeLink : public QvSchemeFileLink
{
public:
    explicit FakeSchemeLink(FakeSchemeLog* log) : m_log(log) {}

    bool ReadDocumentSchemes(std::istream& is, int, QvModel&, QvModel* owner) override
    {
        ++m_log->documentReads;
        m_log->lastOwner = owner;
        std::int32_t count = 0;
        if (!qvio::ReadI32(is, count) || count < 0)
            return false;
        for (std::int32_t i = 0; i < count; ++i)
        {
            std::int32_t v = 0;
            if (!qvio::ReadI32(is, v) || v == -1)
                return false;
            m_log->documentSchemes.push_back(v);
        }
        return true;
    }
    void WriteDocumentSchemes(std::ostream& os, int, const QvModel&) override
    {
        qvio::WriteI32(os, 1);
        qvio::WriteI32(os, 77);
    }
    bool AddDefaultScheme(QvModel&) override
    {
        ++m_log->defaultSchemes;
        return true;
    }
    QvScheme* NewScheme(QvModel&) override { return reinterpret_cast<QvScheme*>(new FakeScheme()); }
    bool ReadScheme(QvScheme& scheme, std::istream& is, int, QvModel&) override
    {
        std::int32_t v = 0;
        if (!qvio::ReadI32(is, v) || v == -1)
            return false;
        AsFake(&scheme)->value = v;
        return true;
    }
    void WriteScheme(const QvScheme& scheme, std::ostream& os, int) override
    {
        qvio::WriteI32(os, AsFake(&scheme)->value);
    }
    void DeleteScheme(QvScheme* scheme) override { delete AsFake(scheme); }

private:
    FakeSchemeLog* m_log;
};

} // namespace qvcasetest
