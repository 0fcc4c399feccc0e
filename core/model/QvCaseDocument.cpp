// SPDX-License-Identifier: GPL-3.0-or-later
// The bodies of the case files: case document (OS), dental model (DM) and the older
// 0x100 family, read into and written from the case model section by section.
#include <algorithm>
#include <cstdint>
#include <istream>
#include <memory>
#include <ostream>
#include <type_traits>

#include "core/geometry/QvStreamIO.h"
#include "core/model/QvAirway.h"
#include "core/model/QvFileBodyLinks.h"
#include "core/model/QvFileVersion.h"
#include "core/model/QvGum.h"
#include "core/model/QvHingeAxis.h"
#include "core/model/QvInputBounds.h"
#include "core/model/QvJaw.h"
#include "core/model/QvJawBone.h"
#include "core/model/QvJawRef.h"
#include "core/model/QvModel.h"
#include "core/model/QvModelLinks.h"
#include "core/model/QvPatientInfo.h"
#include "core/model/QvTooth.h"
#include "core/model/QvToothEmbeded.h"
#include "core/model/QvToothList.h"
#include "core/model/QvToothRef.h"

namespace {

// Case-document versions with their own sections.
constexpr int kOSFirst = 0x402;
constexpr int kOSFirstTracing = 0x403;
constexpr int kOSFlaggedTracing = 0x404;
constexpr int kOSLastTracing = 0x405;
constexpr int kOSJawBones = 0x406;
constexpr int kOSHingeAxis = 0x407;
constexpr int kOSAirway = 0x408;
constexpr int kOSLastToothRefs = 0x410;
constexpr int kOSLast = 0x413;

constexpr int kDMFirst = 0x801;
constexpr int kDMJawBones = 0x803;
constexpr int kDMHingeAxis = 0x804;
constexpr int kDMAirway = 0x805;
constexpr int kDMLastToothRefs = 0x805;
constexpr int kDMLast = 0x806;

constexpr int kTSDFirst = 0x101;
constexpr int kTSDPatientInfo = 0x102;
constexpr int kTSDLastToothLists = 0x104;
constexpr int kTSDHingeAxis = 0x106;
constexpr int kTSDAirway = 0x107;

// Type of the cephalometric tracing among the image measures.
constexpr int kCepTracingType = 1;

// The fewest bytes one record of a section can take: a stored count is refused when
// that many records cannot follow, before anything is made for them.
constexpr std::uint64_t kJawRecordBytes = 4 + 1 + 96;
constexpr std::uint64_t kCompactMeshBytes = 56 + 4 + 4;
constexpr std::uint64_t kTextMeshBytes = 56 + 9 + 7; // "Vertex@0\n", "Face@0\n"
constexpr std::uint64_t kToothRecordBytes = kCompactMeshBytes + 96 + 4 + 4;
constexpr std::uint64_t kGumRecordBytes = 4 + 4;
constexpr std::uint64_t kJawBoneBytes = kCompactMeshBytes + 1 + 8;
constexpr std::uint64_t kOldToothRefBytes = 12;
constexpr std::uint64_t kToothListBytes = 56 + 4;

bool InRange(int version, int family, int first, int last)
{
    return (version & family) != 0 && version >= first && version <= last;
}

// No bound but the bytes left.
constexpr std::int64_t kAnyCount = INT32_MAX;

[[nodiscard]] bool ReadCount(std::istream& is, std::int32_t& count, std::uint64_t recordBytes,
                             std::int64_t most = kAnyCount)
{
    if (!qvio::ReadI32(is, count))
        return false;
    if (count > most || !qvio::CountFits(is, count, recordBytes))
    {
        is.setstate(std::ios::failbit);
        return false;
    }
    return true;
}

// The teeth the model may still take.
std::int64_t RoomForTeeth(const QvModel& model)
{
    return std::max<std::int64_t>(0, kQvMaxTeeth - static_cast<std::int64_t>(model.m_teeth.size()));
}

// The bound on a section's count: teeth are bounded, other kinds only by the bytes left.
template <typename T>
std::int64_t MostOf(const QvModel& model)
{
    if constexpr (std::is_same_v<T, QvTooth>)
        return RoomForTeeth(model);
    else
        return kAnyCount;
}

// int32 count, then per record a new entity that reads itself; each is filed in the
// model as soon as it is whole. A record that fails deletes its entity and the section.
template <typename T, typename Read>
[[nodiscard]] bool ReadEntities(QvModel& model, std::istream& is, std::uint64_t recordBytes, Read read)
{
    std::int32_t count = 0;
    if (!ReadCount(is, count, recordBytes, MostOf<T>(model)))
        return false;
    for (std::int32_t i = 0; i < count; ++i)
    {
        auto entity = std::make_unique<T>();
        if (!read(*entity))
            return false;
        model.AddEntity(entity.release());
    }
    return true;
}

// int32 flag; when present (the test decides), the record, through `read`. A record
// that fails is deleted and fails the read. A second hinge axis or airway replaces the first.
template <typename T, typename Present, typename Read>
[[nodiscard]] bool ReadOptional(QvModel& model, std::istream& is, Present present, Read read)
{
    std::int32_t flag = 0;
    if (!qvio::ReadI32(is, flag))
        return false;
    if (!present(flag))
        return true;
    auto entity = std::make_unique<T>();
    if (!read(*entity))
        return false;
    model.AddEntity(entity.release());
    return true;
}

template <typename T, typename Present>
[[nodiscard]] bool ReadOptional(QvModel& model, std::istream& is, int version, Present present)
{
    return ReadOptional<T>(model, is, present, [&](T& entity) { return entity.Read(is, version, &model); });
}

bool FlagIsOne(std::int32_t flag) { return flag == 1; }

// The mesh records of a read are parsed in order and leave their faces here; Insert
// then builds the meshes side by side (also those read before a record that fails).
struct PendingFaces
{
    std::vector<QvToothPendingFaces> teeth;
    std::vector<QvPendingFaces> meshes;

    void Insert() { QvTooth::InsertPendingFaces(teeth, meshes, 0); }
};

[[nodiscard]] bool ReadTeeth(QvModel& model, std::istream& is, int version, PendingFaces& pending)
{
    return ReadEntities<QvTooth>(model, is, kToothRecordBytes, [&](QvTooth& tooth) {
        return tooth.ReadRecord(is, version, &model, &pending.teeth);
    });
}

[[nodiscard]] bool ReadJawBones(QvModel& model, std::istream& is, int version, PendingFaces& pending)
{
    return ReadEntities<QvJawBone>(model, is, kJawBoneBytes,
                                   [&](QvJawBone& bone) { return bone.Read(is, version, &model, &pending.meshes); });
}

[[nodiscard]] bool ReadAirway(QvModel& model, std::istream& is, int version, PendingFaces& pending)
{
    return ReadOptional<QvAirway>(model, is, FlagIsOne, [&](QvAirway& airway) {
        return airway.Read(is, version, &model, &pending.meshes);
    });
}

template <typename T>
void WriteOptional(std::ostream& os, int version, const T* entity)
{
    qvio::WriteI32(os, entity ? 1 : 0);
    if (entity)
        entity->Write(os, version);
}

void WriteCount(std::ostream& os, const std::vector<QvEntity*>& list)
{
    qvio::WriteI32(os, static_cast<std::int32_t>(list.size()));
}

// The count, then each entity written through T's `write`.
template <typename T, typename Write>
void WriteEach(std::ostream& os, const std::vector<QvEntity*>& list, int version, Write write)
{
    WriteCount(os, list);
    for (const QvEntity* entity : list)
        (static_cast<const T*>(entity)->*write)(os, version);
}

// The record's answer is not used: what matters is whether the stream held it.
[[nodiscard]] bool ReadPatientInfo(QvModel& model, std::istream& is, int version)
{
    QvPatientInfo scratch;
    QvPatientInfo* info = model.GetPatientInfo() ? model.GetPatientInfo() : &scratch;
    (void)info->Read(is, version);
    return static_cast<bool>(is);
}

void WritePatientInfo(const QvModel& model, std::ostream& os, int version)
{
    if (const QvPatientInfo* info = model.GetPatientInfo())
        info->Write(os, version);
    else
        QvPatientInfo().Write(os, version);
}

[[nodiscard]] bool ReadNextId(std::istream& is)
{
    std::int32_t next = 0;
    if (!qvio::ReadI32(is, next))
        return false;
    // Entities made from here on draw ids above every id the writer handed out.
    QvEntity::SetNextId(next);
    return true;
}

} // namespace

// ---- Case document ---------------------------------------------------------------------

bool QvModel::ReadOS(std::istream& is, int version, QvModel* owner)
{
    if (!InRange(version, kQvVersionOS, kOSFirst, kOSLast))
        return false;
    if (!ReadPatientInfo(*this, is, version) || !ReadNextId(is))
        return false;

    // A case document describes the whole case: what the model held of these kinds
    // goes, and is destroyed rather than left without an owner.
    while (!m_jaws.empty())
        RemoveObject(m_jaws.back(), true);
    if (!ReadEntities<QvJaw>(*this, is, kJawRecordBytes, [&](QvJaw& jaw) { return jaw.ReadRecord(is); }))
        return false;
    PendingFaces pending;
    const auto readMeshes = [&] {
        while (!m_teeth.empty())
            RemoveObject(m_teeth.back(), true);
        if (!ReadTeeth(*this, is, version, pending))
            return false;
        while (!m_gums.empty())
            RemoveObject(m_gums.back(), true);
        if (!ReadEntities<QvGum>(*this, is, kGumRecordBytes,
                                 [&](QvGum& gum) { return gum.ReadRecord(is, version, this); }))
            return false;
        if (version >= kOSFirstTracing && version <= kOSLastTracing && !ReadCephTracing(is, version))
            return false;
        if (version >= kOSJawBones)
        {
            while (!m_jawBones.empty())
                RemoveObject(m_jawBones.back(), true);
            if (!ReadJawBones(*this, is, version, pending))
                return false;
        }
        if (version >= kOSHingeAxis && !ReadOptional<QvHingeAxis>(*this, is, version, FlagIsOne))
            return false;
        return version < kOSAirway || ReadAirway(*this, is, version, pending);
    };
    const bool meshes = readMeshes();
    pending.Insert();
    if (!meshes)
        return false;
    if (version <= kOSLastToothRefs ? !ReadToothRefs(is, version) : !ReadFlaggedJawRef(is, version))
        return false;

    QvModel* bound = owner ? owner : this;
    if (QvSchemeFileLink* link = QvGetSchemeFileLink())
        return link->ReadDocumentSchemes(is, version, *this, bound);
    // Without the scheme library only a document without schemes can be read.
    std::int32_t count = 0;
    if (!qvio::ReadI32(is, count))
        return false;
    if (count != 0)
    {
        is.setstate(std::ios::failbit);
        return false;
    }
    return true;
}

void QvModel::WriteOS(std::ostream& os, int version) const { WriteOSPart(os, version, OSWriteStop::Complete); }

void QvModel::WriteOSPart(std::ostream& os, int version, OSWriteStop stop) const
{
    if (!InRange(version, kQvVersionOS, kOSFirst, kOSLast))
        return;
    WritePatientInfo(*this, os, version);
    qvio::WriteI32(os, QvEntity::NextId());
    WriteEach<QvJaw>(os, m_jaws, version, &QvJaw::WriteRecord);
    WriteEach<QvTooth>(os, m_teeth, version, &QvTooth::WriteRecord);
    WriteEach<QvGum>(os, m_gums, version, &QvGum::WriteRecord);
    // The tracing belongs to the image measures; these layouts are written without it.
    if (version >= kOSFlaggedTracing && version <= kOSLastTracing)
        qvio::WriteI32(os, 0);
    if (version >= kOSJawBones)
    {
        WriteCount(os, m_jawBones);
        for (const QvEntity* bone : m_jawBones)
            bone->Write(os, version);
    }
    if (stop == OSWriteStop::AfterJawBones)
        return;
    if (version >= kOSHingeAxis)
        WriteOptional(os, version, m_pHingeAxis);
    if (stop == OSWriteStop::AfterHingeAxis)
        return;
    if (version >= kOSAirway)
        WriteOptional(os, version, m_pAirway);
    if (stop == OSWriteStop::AfterAirway)
        return;
    if (version <= kOSLastToothRefs)
        WriteToothRefs(os, version);
    else
        WriteFlaggedJawRef(os, version);
    if (QvSchemeFileLink* link = QvGetSchemeFileLink())
        link->WriteDocumentSchemes(os, version, *this);
    else
        qvio::WriteI32(os, 0);
}

bool QvModel::ReadCephTracing(std::istream& is, int version)
{
    if (!InRange(version, kQvVersionOS, kOSFirstTracing, kOSLastTracing))
        return false;
    QvImageMeasure* tracing = FindImageMeasure(kCepTracingType, false);
    if (!tracing)
        tracing = CreateImageMeasure(kCepTracingType, false);
    if (version >= kOSFlaggedTracing)
    {
        std::int32_t flag = 0;
        if (!qvio::ReadI32(is, flag))
            return false;
        if (flag == 0)
            return true;
    }
    const QvImageMeasureOps& ops = QvGetImageMeasureOps();
    if (!tracing || !ops.read)
    {
        // A stored tracing that nothing here can read ends the document.
        is.setstate(std::ios::failbit);
        return false;
    }
    return ops.read(tracing, is, version, this);
}

bool QvModel::ReadToothRefs(std::istream& is, int version)
{
    std::int32_t count = 0;
    if (!ReadCount(is, count, kOldToothRefBytes))
        return false;
    for (std::int32_t i = 0; i < count; ++i)
    {
        auto ref = std::make_unique<QvToothRef>();
        if (!ref->Read(is, version, this))
            return false;
        // A record binds itself to its tooth, which owns it from then on; one that
        // found no tooth (a tooth left out of measurements) is dropped.
        QvToothRef* read = ref.release();
        if (!read->GetTooth() || read->GetTooth()->GetToothRef() != read)
            delete read;
    }
    if (!m_pJawRef)
        m_pJawRef = new QvJawRef();
    // Every version with this section has a plane form, so a refusal means the set is
    // damaged: reading on would take its remains for the next section.
    return m_pJawRef->Read(is, version, this) && static_cast<bool>(is);
}

void QvModel::WriteToothRefs(std::ostream& os, int version) const
{
    WriteCount(os, m_teeth);
    for (QvEntity* entity : m_teeth)
    {
        auto* tooth = static_cast<QvTooth*>(entity);
        if (const QvToothRef* ref = tooth->GetToothRef())
            ref->Write(os, version);
        else
            QvToothRef(tooth).Write(os, version);
    }
    if (m_pJawRef)
        m_pJawRef->Write(os, version);
    else
        QvJawRef().Write(os, version);
}

bool QvModel::ReadFlaggedJawRef(std::istream& is, int version)
{
    std::int32_t flag = 0;
    if (!qvio::ReadI32(is, flag))
        return false;
    if (flag != 1)
        return true;
    if (!m_pJawRef)
        m_pJawRef = new QvJawRef();
    if (!m_pJawRef->Read(is, version, this))
    {
        delete m_pJawRef;
        m_pJawRef = nullptr;
        return false;
    }
    return true;
}

void QvModel::WriteFlaggedJawRef(std::ostream& os, int version) const
{
    qvio::WriteI32(os, m_pJawRef ? 1 : 0);
    if (m_pJawRef)
        m_pJawRef->Write(os, version);
}

// ---- Dental model ------------------------------------------------------------------------

bool QvModel::ReadDM(std::istream& is, int version)
{
    if (!InRange(version, kQvVersionDM, kDMFirst, kDMLast))
        return false;
    if (!ReadPatientInfo(*this, is, version) || !ReadNextId(is))
        return false;
    if (!ReadEntities<QvJaw>(*this, is, kJawRecordBytes, [&](QvJaw& jaw) { return jaw.ReadRecord(is); }))
        return false;
    PendingFaces pending;
    const bool meshes =
        ReadTeeth(*this, is, version, pending) &&
        ReadEntities<QvGum>(*this, is, kTextMeshBytes,
                            [&](QvGum& gum) { return gum.ReadModel(is, version, this, &pending.meshes); }) &&
        (version < kDMJawBones || ReadJawBones(*this, is, version, pending)) &&
        (version < kDMHingeAxis || ReadOptional<QvHingeAxis>(*this, is, version, FlagIsOne)) &&
        (version < kDMAirway || ReadAirway(*this, is, version, pending));
    pending.Insert();
    if (!meshes)
        return false;
    if (version <= kDMLastToothRefs ? !ReadToothRefs(is, version) : !ReadFlaggedJawRef(is, version))
        return false;
    // A dental model carries no schemes: the case starts with one of its own.
    if (QvSchemeFileLink* link = QvGetSchemeFileLink())
        return link->AddDefaultScheme(*this);
    return true;
}

void QvModel::WriteDM(std::ostream& os, int version) const
{
    if (!InRange(version, kQvVersionDM, kDMFirst, kDMLast))
        return;
    WritePatientInfo(*this, os, version);
    qvio::WriteI32(os, QvEntity::NextId());
    WriteEach<QvJaw>(os, m_jaws, version, &QvJaw::WriteRecord);
    WriteEach<QvTooth>(os, m_teeth, version, &QvTooth::WriteRecord);
    WriteEach<QvGum>(os, m_gums, version, &QvGum::WriteModel);
    if (version >= kDMJawBones)
    {
        WriteCount(os, m_jawBones);
        for (const QvEntity* bone : m_jawBones)
            bone->Write(os, version);
    }
    if (version >= kDMHingeAxis)
        WriteOptional(os, version, m_pHingeAxis);
    if (version >= kDMAirway)
        WriteOptional(os, version, m_pAirway);
    if (version <= kDMLastToothRefs)
        WriteToothRefs(os, version);
    else
        WriteFlaggedJawRef(os, version);
}

// ---- The 0x100 family -----------------------------------------------------------------------

bool QvModel::ReadTSD(std::istream& is, int version)
{
    if (!InRange(version, kQvVersionTSD, kTSDFirst, kTSDAirway))
        return false;
    if (version >= kTSDPatientInfo && !ReadPatientInfo(*this, is, version))
        return false;
    if (!ReadNextId(is))
        return false;
    const auto slotRead = [&](QvEntity& entity) { return entity.Read(is, version, this); };
    if (!ReadEntities<QvJaw>(*this, is, kTextMeshBytes, slotRead) ||
        !ReadEntities<QvTooth>(*this, is, kTextMeshBytes, slotRead) ||
        !ReadEntities<QvGum>(*this, is, kTextMeshBytes, slotRead))
        return false;
    if (version <= kTSDLastToothLists ? !ReadEntities<QvToothList>(*this, is, kToothListBytes, slotRead)
                                      : !ReadEntities<QvJawBone>(*this, is, kJawBoneBytes, slotRead))
        return false;
    if (version >= kTSDHingeAxis &&
        !ReadOptional<QvHingeAxis>(*this, is, version, [](std::int32_t flag) { return flag > 0; }))
        return false;
    if (version >= kTSDAirway &&
        !ReadOptional<QvAirway>(*this, is, version, [](std::int32_t flag) { return flag >= 1; }))
        return false;
    return true;
}

void QvModel::WriteTSD(std::ostream& os, int version) const
{
    if ((version & kQvVersionTSD) == 0 || version < kTSDPatientInfo)
        return;
    WritePatientInfo(*this, os, version);
    qvio::WriteI32(os, QvEntity::NextId());
    WriteEach<QvJaw>(os, m_jaws, version, &QvJaw::WriteFull);
    for (const std::vector<QvEntity*>* list : {&m_teeth, &m_gums})
    {
        WriteCount(os, *list);
        for (const QvEntity* entity : *list)
            entity->Write(os, version);
    }
    const std::vector<QvEntity*>& parts = version <= kTSDLastToothLists ? m_toothLists : m_jawBones;
    WriteCount(os, parts);
    for (const QvEntity* entity : parts)
        entity->Write(os, version);
    if (version >= kTSDHingeAxis)
        WriteOptional(os, version, m_pHingeAxis);
    if (version >= kTSDAirway)
        WriteOptional(os, version, m_pAirway);
}

bool QvModel::ReadTSDWithEmbedded(std::istream& is, int version)
{
    if (!ReadPatientInfo(*this, is, version) || !ReadNextId(is))
        return false;
    const auto slotRead = [&](QvEntity& entity) { return entity.Read(is, version, this); };
    return ReadEntities<QvJaw>(*this, is, kTextMeshBytes, slotRead) &&
           ReadEntities<QvToothEmbeded>(*this, is, kTextMeshBytes, slotRead) &&
           ReadEntities<QvTooth>(*this, is, kTextMeshBytes, slotRead) &&
           ReadEntities<QvGum>(*this, is, kTextMeshBytes, slotRead) &&
           ReadEntities<QvJawBone>(*this, is, kJawBoneBytes, slotRead) &&
           ReadOptional<QvHingeAxis>(*this, is, version, FlagIsOne) &&
           ReadOptional<QvAirway>(*this, is, version, FlagIsOne);
}

void QvModel::WriteTSDWithEmbedded(std::ostream& os, int version) const
{
    WritePatientInfo(*this, os, version);
    qvio::WriteI32(os, QvEntity::NextId());
    WriteEach<QvJaw>(os, m_jaws, version, &QvJaw::WriteFull);
    for (const std::vector<QvEntity*>* list : {&m_embeddedTeeth, &m_teeth, &m_gums, &m_jawBones})
    {
        WriteCount(os, *list);
        for (const QvEntity* entity : *list)
            entity->Write(os, version);
    }
    WriteOptional(os, version, m_pHingeAxis);
    WriteOptional(os, version, m_pAirway);
}
