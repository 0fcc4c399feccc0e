// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/measure/QvMeasureFile.h"

#include <istream>
#include <memory>
#include <ostream>
#include <vector>

#include "core/geometry/QvStreamIO.h"
#include "core/measure/QvImageMeasure.h"
#include "core/measure/QvModelPointRecords.h"
#include "core/model/QvFileVersion.h"
#include "core/model/QvJawRef.h"
#include "core/model/QvModel.h"
#include "core/model/QvModelLinks.h"

namespace {

constexpr int kRVMFirst = 0x8001;
constexpr int kRVMLast = 0x8005;
constexpr int kRVMFirstLists = 0x8004;
constexpr int kRVMFirstListsEx = 0x8005;
constexpr int kCaseDocumentFirst = 0x401;

// Smallest stored sizes, against which the counts are checked.
constexpr std::uint64_t kReferenceBytes = 4 + 4;
constexpr std::uint64_t kMeasureBytes = 4;

enum class Rows
{
    Base,      // 1 to 6
    Lists,     // 1 to 7
    ListsEx,   // 1 to 8
};

bool IsRVMVersion(int version) { return version >= kRVMFirst && version <= kRVMLast; }

Rows RowsOf(int version)
{
    if (version >= kRVMFirstListsEx)
        return Rows::ListsEx;
    return version >= kRVMFirstLists ? Rows::Lists : Rows::Base;
}

// Everything a body holds, read before any of it is kept.
struct Body
{
    std::vector<QvImageReference> references;
    std::vector<std::unique_ptr<QvImageMeasure>> measures;
    QvJawRef planes;
    QvModelPointSet pointSet;
    QvModelPointLists lists;
    QvModelPointListsEx listsEx;
};

bool ReadRows(std::istream& is, int version, QvModel& model, Rows rows, Body& body)
{
    std::int32_t count = 0;
    if (!qvio::ReadI32(is, count) || !qvio::CountFits(is, count, kReferenceBytes))
        return false;
    for (std::int32_t i = 0; i < count; ++i)
    {
        QvImageReference ref;
        if (!ref.Read(is))
            return false;
        body.references.push_back(std::move(ref));
    }

    if (!qvio::ReadI32(is, count) || !qvio::CountFits(is, count, kMeasureBytes))
        return false;
    for (std::int32_t i = 0; i < count; ++i)
    {
        std::int32_t type = 0;
        if (!qvio::ReadI32(is, type))
            return false;
        std::unique_ptr<QvImageMeasure> measure(QvImageMeasure::Create(type));
        // A measure that cannot be read fails the file rather than stand half-read.
        if (!measure->Read(is, version, &model))
            return false;
        body.measures.push_back(std::move(measure));
    }

    if (!body.planes.ReadRVM(is, version, &model) || !body.pointSet.Read(is, version, &model))
        return false;
    if (rows != Rows::Base && !body.lists.Read(is, version, &model))
        return false;
    if (rows == Rows::ListsEx && !body.listsEx.Read(is, version, &model))
        return false;
    return true;
}

template <typename Plane>
void TakePlane(Plane*& target, Plane*& source)
{
    if (!source)
        return;
    delete target;
    target = source;
    source = nullptr;
}

void Commit(Body& body, QvModel& model, Rows rows)
{
    GetImageReferences() = std::move(body.references);
    for (std::unique_ptr<QvImageMeasure>& measure : body.measures)
        model.m_imageMeasures.push_back(measure.release());
    if (QvJawRef* planes = model.GetJawRef())
    {
        TakePlane(planes->m_pMiddlePlane, body.planes.m_pMiddlePlane);
        TakePlane(planes->m_pBeautyPlane, body.planes.m_pBeautyPlane);
    }

    QvInstallPointRecords(model);
    QvModelPointSet& set = *model.m_pointSet.Get();
    set.m_points.insert(set.m_points.end(), body.pointSet.m_points.begin(), body.pointSet.m_points.end());
    set.m_attributes.insert(set.m_attributes.end(), body.pointSet.m_attributes.begin(),
                            body.pointSet.m_attributes.end());
    if (body.pointSet.m_pCurve)
        set.m_pCurve = std::move(body.pointSet.m_pCurve);
    if (rows == Rows::Base)
        return;
    QvModelPointLists& lists = *model.m_pointLists.Get();
    for (const bool first : {true, false})
        lists.GetPoints(first).insert(lists.GetPoints(first).end(), body.lists.GetPoints(first).begin(),
                                      body.lists.GetPoints(first).end());
    if (rows == Rows::Lists)
        return;
    QvModelPointListsEx& listsEx = *model.m_pointListsEx.Get();
    for (const bool first : {true, false})
    {
        listsEx.GetPoints(first).insert(listsEx.GetPoints(first).end(), body.listsEx.GetPoints(first).begin(),
                                        body.listsEx.GetPoints(first).end());
        listsEx.SetValue(first, body.listsEx.GetValue(first));
    }
}

bool Read(std::istream& is, int version, QvModel& model, Rows rows)
{
    // The model deletes its measures through the installed operations only.
    if (!IsRVMVersion(version) || !QvGetImageMeasureOps().IsComplete())
        return false;
    Body body;
    if (!ReadRows(is, version, model, rows, body))
    {
        is.setstate(std::ios::failbit);
        return false;
    }
    Commit(body, model, rows);
    return true;
}

bool Write(std::ostream& os, int version, const QvModel& model, Rows rows)
{
    if (!IsRVMVersion(version))
        return false;
    const std::vector<QvImageReference>& references = GetImageReferences();
    qvio::WriteI32(os, static_cast<std::int32_t>(references.size()));
    for (const QvImageReference& ref : references)
        ref.Write(os);

    qvio::WriteI32(os, static_cast<std::int32_t>(model.m_imageMeasures.size()));
    for (const QvImageMeasure* measure : model.m_imageMeasures)
    {
        qvio::WriteI32(os, measure->m_nType);
        measure->Write(os, version);
    }

    if (const QvJawRef* planes = model.GetJawRef())
        planes->WriteRVM(os, version);
    else
        QvJawRef().WriteRVM(os, version);

    const QvModelPointSet* set = model.m_pointSet.Get();
    (set ? *set : QvModelPointSet()).Write(os, version, &model);
    if (rows != Rows::Base)
    {
        const QvModelPointLists* lists = model.m_pointLists.Get();
        (lists ? *lists : QvModelPointLists()).Write(os, version);
    }
    if (rows == Rows::ListsEx)
    {
        const QvModelPointListsEx* listsEx = model.m_pointListsEx.Get();
        (listsEx ? *listsEx : QvModelPointListsEx()).Write(os, version);
    }
    return !os.fail();
}

} // namespace

bool QvMeasureFile::ReadRVM(std::istream& is, int version, QvModel& model)
{
    return Read(is, version, model, RowsOf(version));
}

bool QvMeasureFile::WriteRVM(std::ostream& os, int version, const QvModel& model)
{
    return Write(os, version, model, RowsOf(version));
}

bool QvMeasureFile::ReadRVMBase(std::istream& is, int version, QvModel& model)
{
    return Read(is, version, model, Rows::Base);
}

bool QvMeasureFile::ReadRVMWithLists(std::istream& is, int version, QvModel& model)
{
    return Read(is, version, model, Rows::Lists);
}

bool QvMeasureFile::ReadRVMWithListsEx(std::istream& is, int version, QvModel& model)
{
    return Read(is, version, model, Rows::ListsEx);
}

bool QvMeasureFile::WriteRVMBase(std::ostream& os, int version, const QvModel& model)
{
    return Write(os, version, model, Rows::Base);
}

bool QvMeasureFile::WriteRVMWithLists(std::ostream& os, int version, const QvModel& model)
{
    return Write(os, version, model, Rows::Lists);
}

bool QvMeasureFile::WriteRVMWithListsEx(std::ostream& os, int version, const QvModel& model)
{
    return Write(os, version, model, Rows::ListsEx);
}

void QvMeasureFile::GetImageMeasuresByKind(const QvModel& model, std::map<int, QvImageMeasure*>& out)
{
    for (QvImageMeasure* measure : model.m_imageMeasures)
        if (measure->m_nImageKind != 0)
            out[measure->m_nImageKind] = measure;
}

bool QvMeasureFile::IsFromCaseDocument(const QvModel& model, bool firstVersionOnly)
{
    const auto it = model.m_fileVersions.find(kQvFileOS);
    if (it == model.m_fileVersions.end())
        return false;
    return !firstVersionOnly || it->second == kCaseDocumentFirst;
}
