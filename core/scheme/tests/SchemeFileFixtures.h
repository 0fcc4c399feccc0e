// SPDX-License-Identifier: GPL-3.0-or-later
// Schemes filled with every record a scheme file carries, a byte builder for stored
// forms written by hand, and a case with the scheme links installed.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <sstream>
#include <string>

#include "core/base/QvText.h"
#include "core/design/QvAttachStepList.h"
#include "core/design/QvAttachment.h"
#include "core/design/QvBracketList.h"
#include "core/geometry/QvBSplineCurve.h"
#include "core/geometry/QvStreamIO.h"
#include "core/model/QvFileBodyLinks.h"
#include "core/scheme/QvArchForm.h"
#include "core/scheme/QvClinicalInfo.h"
#include "core/scheme/QvSchemeFileLinkImpl.h"
#include "core/scheme/QvSchemeMgr.h"
#include "SchemeFixtures.h"

namespace qvschemefiletest {

using namespace qvschemetest;

// Little-endian fields appended one by one, as the readers expect them.
class Bytes
{
public:
    Bytes& I32(std::int32_t v)
    {
        Put(v);
        return *this;
    }
    Bytes& F64(double v)
    {
        Put(v);
        return *this;
    }
    Bytes& U8(std::uint8_t v)
    {
        Put(v);
        return *this;
    }
    Bytes& Raw(const std::string& bytes)
    {
        m_bytes += bytes;
        return *this;
    }
    // int32 length and the bytes.
    Bytes& Text(const std::string& text)
    {
        I32(static_cast<std::int32_t>(text.size()));
        return Raw(text);
    }
    Bytes& Matrix(const QvMatrix& m)
    {
        I32(m.m_row).I32(m.m_col);
        for (int i = 0; i < m.m_row * m.m_col; ++i)
            F64(m.m_pData[i]);
        return *this;
    }
    // Empty flags or counts.
    Bytes& Zeros(int count)
    {
        for (int i = 0; i < count; ++i)
            I32(0);
        return *this;
    }
    const std::string& str() const { return m_bytes; }

private:
    template <typename T>
    void Put(T v)
    {
        char raw[sizeof(T)];
        std::memcpy(raw, &v, sizeof(T));
        m_bytes.append(raw, sizeof(T));
    }
    std::string m_bytes;
};

inline std::string BodyBytes(const QvScheme& scheme, int version)
{
    std::ostringstream os;
    scheme.Write(os, version);
    return os.str();
}

inline std::string SectionBytes(const QvScheme& scheme, int version)
{
    std::ostringstream os;
    scheme.WriteDocument(os, version);
    return os.str();
}

// Teeth 11, 21, 16, 17, 31 and 41, and the scheme file and attachment links.
class FileCase : public SchemeCase
{
public:
    FileCase() : SchemeCase({11, 21, 16, 17, 31, 41}) { QvInstallSchemeFileLink(); }
    ~FileCase()
    {
        // The schemes of the model go while the attachment link can still dispose of
        // their attachments.
        if (QvSchemeMgr* mgr = QvGetSchemeMgr(model))
            mgr->Clear();
        scheme.reset();
        QvSetSchemeFileLink(nullptr);
    }
};

// A virtual tooth for the lower jaw whose id deliberately equals that of tooth 21, so
// that a reader resolving ids through the model would bind the wrong tooth.
inline QvVirtualTooth* AddCollidingVirtualTooth(FileCase& c, QvScheme& s)
{
    auto* tooth = new QvVirtualTooth();
    tooth->m_nFdi = 32;
    tooth->m_nStartStep = 1;
    tooth->SetJaw(c.lowerJaw);
    tooth->SetFrame(QvFrame(QvPoint(-2, 1, 0), QvVector(1, 0, 0), QvVector(0, 1, 0)));
    tooth->m_matrix = Placement(QvVector(0, 0, 1), 5, 0.1, 0, 0);
    tooth->SetID(c.Tooth(21)->GetID());
    s.m_virtualTeeth.push_back(tooth);
    return tooth;
}

// Every record a scheme body of 8199 carries; variant makes schemes tell apart.
inline void FillScheme(FileCase& c, QvScheme& s, int variant, bool withVirtualTooth = true)
{
    s.SetModel(&c.model);
    s.m_strName = Gb18030FromUtf8("方案") + std::to_string(variant);
    s.m_strText1 = "first text";
    s.m_strText2 = "second";
    s.m_nValue = 40 + variant;
    s.m_extractedTeeth = {c.Tooth(16)};
    s.m_hiddenTeeth = {c.Tooth(41)};

    std::vector<QvToothBase*> moved = {c.Tooth(11), c.Tooth(21), c.Tooth(31)};
    if (withVirtualTooth)
        moved.push_back(AddCollidingVirtualTooth(c, s));
    const double turn = 3.0 + variant;
    for (QvToothBase* tooth : moved)
    {
        s.InsertTreatStep(tooth, 0, kQvStepInitial);
        s.InsertTreatStep(tooth, 1, kQvStepMoving, Placement(QvVector(0, 1, 1), turn, 0.2, 0, -0.1));
        s.InsertTreatStep(tooth, 2, kQvStepFinal, Placement(QvVector(1, 0, 1), 2 * turn, 0.4, 0.1, -0.2));
    }
    s.m_stepLists[2]->m_jawMatrix = Placement(QvVector(1, 0, 0), -4, 0, 0.3, -0.5);
    s.m_stepLists[2]->m_bBite = true;

    auto* attachment = new QvAttachment();
    attachment->m_pTooth = c.Tooth(11);
    attachment->m_matrix = Translation(0.5, 0.25, variant);
    attachment->m_nFirstStep = 1;
    attachment->m_nLastStep = 2;
    s.AddAttachment(c.Tooth(11), attachment);

    auto* info = new QvClinicalInfo();
    info->m_iprMap[1].emplace_back(c.Tooth(11), c.Tooth(21), 2, 0.26);
    info->m_adjustments[2].emplace_back(c.Tooth(31), c.Tooth(41), 1, 0.1 * variant);
    for (int k = 0; k < 3; ++k)
    {
        QvTractionEntry traction;
        traction.m_nKind = k + 2;
        traction.m_nFdi1 = 11 + k;
        traction.m_nFdi2 = 31 + k;
        traction.m_bFlag2 = false;
        traction.m_nStartStep = k;
        traction.m_nEndStep = k + 1;
        info->m_tractions.push_back(traction);
    }
    info->m_strRemark = "remark";
    info->SetLegacyKinds(1, 4);
    s.m_pClinicalInfo = info;

    s.m_pOcclusalPlane1 = new QvOcclusalPlane();
    s.m_pOcclusalPlane1->m_frame = QvFrame(QvPoint(1, 2, 3), QvVector(1, 0, 0), QvVector(0, 1, 0));
    s.m_pOcclusalPlane1->m_dValue = 2.5;
    s.m_pOcclusalPlane1->m_keyPoints = {QvKeyPoint(QvPoint(0.1, 0.2, 0), 4), QvKeyPoint(QvPoint(0.3, 0.4, 0), 10)};
    s.m_pArchForm2 = new QvArchForm();
    s.m_pArchForm2->SetUpper(false);
    const std::unique_ptr<QvBSplineCurve> curve(QvBSplineCurve::FromEndTangents(
        QvPoint(-20, 0, 0), QvPoint(20, 0, 0), QvVector(0, 40, 0), QvVector(0, -40, 0)));
    s.m_pArchForm2->SetCurve(*curve);
    s.m_pArchForm2->SetPoints({QvPoint(-20, 0, 0), QvPoint(0, 15, 0), QvPoint(20, 0, 0)});
    ASSERT_NE(s.GetBracketList(), nullptr);

    s.m_targetMgr.Capture(3);
    s.m_targetMgr.Capture(4);
    // A saved position of the virtual tooth, named by id like its steps.
    if (withVirtualTooth)
        s.m_targetMgr.GetSnapshots()[0]->AddNewStep(s.m_virtualTeeth.back(), 0, kQvStepFinal,
                                                    Translation(0.3, 0.2, 0.1));
}

// The virtual tooth of every step that places one is the scheme's own.
inline ::testing::AssertionResult StepsUseOwnVirtualTeeth(const QvScheme& s)
{
    for (const QvTreatStepList* list : s.m_stepLists)
        for (const QvTreatStep* step : list->m_steps)
            if (step->m_pTooth && step->m_pTooth->IsKindOf(kQvTypeVirtualTooth) &&
                std::find(s.m_virtualTeeth.begin(), s.m_virtualTeeth.end(), step->m_pTooth) == s.m_virtualTeeth.end())
                return ::testing::AssertionFailure() << "a step places a virtual tooth the scheme does not own";
    return ::testing::AssertionSuccess();
}

} // namespace qvschemefiletest
