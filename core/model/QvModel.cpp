// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/model/QvModel.h"

#include <algorithm>
#include <iterator>

#include "core/mesh/QvMesh.h"
#include "core/model/QvAirway.h"
#include "core/model/QvGum.h"
#include "core/model/QvHingeAxis.h"
#include "core/model/QvJaw.h"
#include "core/model/QvJawBone.h"
#include "core/model/QvJawRef.h"
#include "core/model/QvPatientInfo.h"
#include "core/model/QvRoot.h"
#include "core/model/QvTooth.h"
#include "core/model/QvToothList.h"
#include "core/model/QvVirtualTooth.h"

namespace {

// A code the extra attachment list is filed under; no class reports it.
constexpr QvTypeCode kQvTypeAttachExtra = 0x10000002;
// Routed to the plain meshes together with code 4.
constexpr QvTypeCode kQvTypeMeshAlias = 0x802;

void DeleteAll(std::vector<QvEntity*>& list)
{
    // Taken out first, so that a destructor that looks at the list never sees a dead entry.
    std::vector<QvEntity*> doomed;
    doomed.swap(list);
    for (QvEntity* entity : doomed)
        delete entity;
}

bool Erase(std::vector<QvEntity*>& list, const QvEntity* entity)
{
    const auto end = std::remove(list.begin(), list.end(), entity);
    const bool found = end != list.end();
    list.erase(end, list.end());
    return found;
}

QvTooth* AsTooth(QvEntity* entity)
{
    return entity && entity->GetType() == kQvTypeTooth ? static_cast<QvTooth*>(entity) : nullptr;
}

// Arch tables of FindArchNeighbour: permanent and deciduous positions of one jaw.
constexpr int kUpperArch[26] = {28, 27, 26, 25, 65, 24, 64, 23, 63, 22, 62, 21, 61,
                                51, 11, 52, 12, 53, 13, 54, 14, 55, 15, 16, 17, 18};
constexpr int kLowerArch[26] = {48, 47, 46, 45, 85, 44, 84, 43, 83, 42, 82, 41, 81,
                                71, 31, 72, 32, 73, 33, 74, 34, 75, 35, 36, 37, 38};

// The vertex, edge or face arrays of a mesh hold this very element.
template <typename Element>
bool HoldsElement(const std::vector<Element>& elements, const Element* element)
{
    const int index = element->m_index;
    return index >= 0 && static_cast<std::size_t>(index) < elements.size() && &elements[index] == element;
}

// The mesh among the model's entities whose `array` holds this very element.
template <typename Element>
QvEntity* FindMeshHolding(const QvModel& model, const Element* element, std::vector<Element> QvMesh::*array)
{
    if (!element)
        return nullptr;
    std::vector<QvEntity*> all;
    model.GetAllEntities(all);
    for (QvEntity* entity : all)
        if (const auto* mesh = dynamic_cast<const QvMesh*>(entity); mesh && HoldsElement(mesh->*array, element))
            return entity;
    return nullptr;
}

} // namespace

QvModel::QvModel() : m_pJawRef(new QvJawRef())
{
    m_patientInfo.Install(
        new QvPatientInfo(), [](QvPatientInfo* info) { delete info; }, [](QvPatientInfo* info) { info->Clear(); });
}

QvModel::~QvModel()
{
    Clear(false);
    delete m_pJawRef;
    m_pJawRef = nullptr;
}

// ---- Clearing ----------------------------------------------------------------------------

void QvModel::Clear(bool keepImageData)
{
    DeleteEntitiesButJaws();
    DeleteAll(m_jaws);
    if (m_pJawRef)
        m_pJawRef->Clear();
    m_patientInfo.Clear();
    if (!keepImageData)
    {
        ClearImageMeasures();
        m_pointSet.Clear();
    }
    m_bbox.Reset();
    ClearRegistry();
}

void QvModel::DeleteEntitiesButJaws()
{
    // Schemes first: clearing them reaches attachments that the lists below delete.
    if (m_pSchemes)
        m_pSchemes->Clear();
    DeleteAll(m_gums);
    DeleteAll(m_teeth);
    DeleteAll(m_jawBones);
    DeleteAll(m_meshes);
    DeleteAll(m_toothLists);
    DeleteAll(m_attachments);
    m_brackets.clear();
    DeleteAll(m_attachExtra);
    DeleteAll(m_embeddedTeeth);
    // Virtual teeth outlive the model's lists; they must not keep these jaws either way.
    m_virtualTeeth.clear();
    delete m_pAirway;
    m_pAirway = nullptr;
    delete m_pHingeAxis;
    m_pHingeAxis = nullptr;
}

void QvModel::ClearExceptJaws()
{
    DeleteEntitiesButJaws();
    m_patientInfo.Clear();
    ClearImageMeasures();
    m_pointSet.Clear();
    m_bbox.Reset();
    ClearRegistry();
    for (QvEntity* jaw : m_jaws)
        Register(jaw);
}

void QvModel::ClearImageMeasures()
{
    const QvImageMeasureOps& ops = QvGetImageMeasureOps();
    std::vector<QvImageMeasure*> doomed;
    doomed.swap(m_imageMeasures);
    if (ops.destroy)
        for (QvImageMeasure* measure : doomed)
            ops.destroy(measure);
    if (ops.clearImageReferences)
        ops.clearImageReferences();
}

void QvModel::ClearPatientInfo() { m_patientInfo.Clear(); }

void QvModel::SetSchemes(std::unique_ptr<QvModelSchemes> schemes)
{
    if (m_pSchemes)
        m_pSchemes->Clear();
    m_pSchemes = std::move(schemes);
}

// ---- Adding and removing ---------------------------------------------------------------

std::vector<QvEntity*>* QvModel::ListOfCode(std::uint32_t code)
{
    switch (code)
    {
    case kQvTypeMesh:
    case kQvTypeMeshAlias:
        return &m_meshes;
    case kQvTypeJaw:
        return &m_jaws;
    case kQvTypeTooth:
        return &m_teeth;
    case kQvTypeGum:
        return &m_gums;
    case kQvTypeToothList:
        return &m_toothLists;
    case kQvTypeJawBone:
        return &m_jawBones;
    case kQvTypeAttachment:
        return &m_attachments;
    case kQvTypeAttachExtra:
        return &m_attachExtra;
    case kQvTypeEntityAnonymous:
        return &m_anonymous;
    case kQvTypeBracket:
        return &m_brackets;
    case kQvTypeToothEmbeded:
        return &m_embeddedTeeth;
    case kQvTypeVirtualTooth:
        return &m_virtualTeeth;
    default:
        return nullptr;
    }
}

void QvModel::AddEntity(QvEntity* entity)
{
    if (!entity)
        return;
    const QvTypeCode code = entity->GetType();
    std::vector<QvEntity*>* list = ListOfCode(code);
    // Listed twice, an entity would be deleted twice.
    if (list && IsListed(*list, entity))
        return;
    if ((code == kQvTypeHingeAxis && entity == m_pHingeAxis) || (code == kQvTypeAirway && entity == m_pAirway))
        return;

    entity->UpdateBBox();
    m_bbox.Merge(entity->m_bbox);

    if (list)
    {
        Listed(*list, entity);
    }
    else if (code == kQvTypeHingeAxis)
    {
        if (auto* axis = dynamic_cast<QvHingeAxis*>(entity))
        {
            if (m_pHingeAxis)
                RemoveObject(m_pHingeAxis, true);
            m_pHingeAxis = axis;
        }
    }
    else if (code == kQvTypeAirway)
    {
        if (auto* airway = dynamic_cast<QvAirway*>(entity))
        {
            if (m_pAirway)
                RemoveObject(m_pAirway, true);
            m_pAirway = airway;
        }
    }
    Register(entity);
}

bool QvModel::IsListed(const std::vector<QvEntity*>& list, const QvEntity* entity)
{
    ListIndex& index = m_listIndex[&list];
    const auto reindex = [&] {
        index.members.clear();
        index.members.insert(list.begin(), list.end());
        index.size = list.size();
    };
    if (index.size != list.size())
        reindex();
    if (index.members.count(entity) == 0)
        return false;
    // A hit is rare (the same object added again) and is confirmed, in case the list
    // was edited from outside without changing its size.
    if (std::find(list.begin(), list.end(), entity) != list.end())
        return true;
    reindex();
    return false;
}

void QvModel::Listed(std::vector<QvEntity*>& list, QvEntity* entity)
{
    ListIndex& index = m_listIndex[&list];
    const bool inStep = index.size == list.size();
    list.push_back(entity);
    if (inStep)
    {
        index.members.insert(entity);
        index.size = list.size();
    }
}

bool QvModel::Unlist(std::vector<QvEntity*>& list, const QvEntity* entity)
{
    ListIndex& index = m_listIndex[&list];
    if (index.size == list.size() && index.members.count(entity) != 0)
    {
        // Listed once; searched from the back, where lists are mostly emptied from.
        const auto at = std::find(list.rbegin(), list.rend(), entity);
        if (at != list.rend())
        {
            list.erase(std::next(at).base());
            index.members.erase(entity);
            index.size = list.size();
            return true;
        }
    }
    // Edited from outside: every entry goes, and the index is rebuilt when next asked.
    index.size = SIZE_MAX;
    return Erase(list, entity);
}

void QvModel::Register(QvEntity* entity)
{
    if (m_entityMap.emplace(entity->GetID(), entity).second)
        m_registeredIds.emplace(entity, entity->GetID());
}

void QvModel::Unregister(const QvEntity* entity)
{
    const auto eraseUnder = [&](int id) {
        if (const auto it = m_entityMap.find(id); it != m_entityMap.end() && it->second == entity)
            m_entityMap.erase(it);
    };
    const auto [first, last] = m_registeredIds.equal_range(entity);
    for (auto it = first; it != last; ++it)
        eraseUnder(it->second);
    m_registeredIds.erase(first, last);
    eraseUnder(entity->GetID());
}

void QvModel::ClearRegistry()
{
    m_entityMap.clear();
    m_registeredIds.clear();
}

void QvModel::RemoveEntity(int id, bool destroy)
{
    const auto it = m_entityMap.find(id);
    if (it == m_entityMap.end())
        return;
    RemoveObject(it->second, destroy);
}

void QvModel::RemoveObject(QvEntity* entity, bool destroy)
{
    Unregister(entity);

    const QvTypeCode code = entity->GetType();
    bool removed = false;
    if (code == kQvTypeJaw)
    {
        auto* jaw = static_cast<QvJaw*>(entity);
        for (std::size_t i = m_toothLists.size(); i-- > 0;)
            if (i < m_toothLists.size() && static_cast<QvToothList*>(m_toothLists[i])->GetJaw() == jaw)
                RemoveObject(m_toothLists[i], true);
        for (std::size_t i = m_gums.size(); i-- > 0;)
            if (i < m_gums.size() && static_cast<QvGum*>(m_gums[i])->GetJaw() == jaw)
                RemoveObject(m_gums[i], true);
        removed = Unlist(m_jaws, entity);
        UnbindJaw(jaw);
    }
    else if (code == kQvTypeToothList)
    {
        // A list without a jaw names no teeth.
        if (const QvJaw* jaw = static_cast<QvToothList*>(entity)->GetJaw())
            for (std::size_t i = m_teeth.size(); i-- > 0;)
                if (i < m_teeth.size() && static_cast<QvToothBase*>(m_teeth[i])->GetJaw() == jaw)
                    RemoveObject(m_teeth[i], true);
        removed = Unlist(m_toothLists, entity);
    }
    else if (code == kQvTypeHingeAxis)
    {
        removed = entity == m_pHingeAxis;
        if (removed)
            m_pHingeAxis = nullptr;
    }
    else if (code == kQvTypeAirway)
    {
        removed = entity == m_pAirway;
        if (removed)
            m_pAirway = nullptr;
    }
    else if (std::vector<QvEntity*>* list = ListOfCode(code))
    {
        removed = Unlist(*list, entity);
    }
    // An entity that stood in no list was never the model's to delete.
    if (destroy && removed)
        delete entity;
}

void QvModel::UnbindJaw(const QvJaw* jaw)
{
    for (std::vector<QvEntity*>* list : {&m_teeth, &m_virtualTeeth})
        for (QvEntity* entity : *list)
            if (auto* tooth = static_cast<QvToothBase*>(entity); tooth->GetJaw() == jaw)
                tooth->SetJaw(nullptr);
    for (QvEntity* entity : m_gums)
        if (auto* gum = static_cast<QvGum*>(entity); gum->GetJaw() == jaw)
            gum->SetJaw(nullptr);
    for (QvEntity* entity : m_toothLists)
        if (auto* list = static_cast<QvToothList*>(entity); list->GetJaw() == jaw)
            list->SetJaw(nullptr);
}

void QvModel::MarkDeleted(int id, bool deleted)
{
    if (QvEntity* entity = FindEntity(id))
        MarkDeletedObject(entity, deleted);
}

void QvModel::MarkDeletedObject(QvEntity* entity, bool deleted)
{
    switch (entity->GetType())
    {
    case kQvTypeJaw:
    {
        const auto* jaw = static_cast<QvJaw*>(entity);
        for (std::size_t i = m_toothLists.size(); i-- > 0;)
            if (static_cast<QvToothList*>(m_toothLists[i])->GetJaw() == jaw)
                MarkDeletedObject(m_toothLists[i], deleted);
        for (std::size_t i = m_gums.size(); i-- > 0;)
            if (static_cast<QvGum*>(m_gums[i])->GetJaw() == jaw)
                MarkDeletedObject(m_gums[i], deleted);
        entity->SetDeleted(deleted);
        break;
    }
    case kQvTypeToothList:
        if (const QvJaw* jaw = static_cast<QvToothList*>(entity)->GetJaw())
            for (QvEntity* tooth : m_teeth)
                if (static_cast<QvToothBase*>(tooth)->GetJaw() == jaw)
                    tooth->SetDeleted(deleted);
        entity->SetDeleted(deleted);
        break;
    case kQvTypeTooth:
    case kQvTypeGum:
    case kQvTypeToothEmbeded:
        entity->SetDeleted(deleted);
        break;
    default:
        break;
    }
}

void QvModel::SetStateBitsOfAll(std::uint32_t mask, bool on)
{
    std::vector<QvEntity*> all;
    GetAllEntities(all);
    for (QvEntity* entity : all)
        entity->SetStateBits(mask, on);
}

// ---- Lookups ---------------------------------------------------------------------------

QvEntity* QvModel::FindEntity(int id) const
{
    const auto it = m_entityMap.find(id);
    return it == m_entityMap.end() ? nullptr : it->second;
}

void QvModel::GetAllEntities(std::vector<QvEntity*>& out) const
{
    for (const std::vector<QvEntity*>* list :
         {&m_teeth, &m_jaws, &m_gums, &m_jawBones, &m_meshes, &m_attachments, &m_attachExtra, &m_brackets,
          &m_anonymous, &m_embeddedTeeth, &m_virtualTeeth})
        out.insert(out.end(), list->begin(), list->end());
    if (m_pHingeAxis)
        out.push_back(m_pHingeAxis);
    if (m_pAirway)
        out.push_back(m_pAirway);
}

void QvModel::GetAllMeshes(std::vector<QvEntity*>& out) const
{
    for (const std::vector<QvEntity*>* list : {&m_teeth, &m_jaws, &m_embeddedTeeth, &m_gums, &m_meshes})
        out.insert(out.end(), list->begin(), list->end());
    for (QvEntity* entity : m_teeth)
        if (QvRoot* root = static_cast<QvTooth*>(entity)->GetRoot())
            out.push_back(root);
    out.insert(out.end(), m_jawBones.begin(), m_jawBones.end());
    if (m_pAirway)
        out.push_back(m_pAirway);
    if (m_pSchemes)
        m_pSchemes->AppendCurrentVirtualTeeth(out);
}

QvTooth* QvModel::FindTooth(int fdi) const
{
    for (QvEntity* entity : m_teeth)
        if (auto* tooth = static_cast<QvTooth*>(entity); tooth->GetFdi() == fdi)
            return tooth;
    return nullptr;
}

QvTooth* QvModel::FindToothInState(int fdi, int state) const
{
    for (QvEntity* entity : m_teeth)
        if (auto* tooth = static_cast<QvTooth*>(entity); tooth->GetFdi() == fdi && tooth->GetState() == state)
            return tooth;
    return nullptr;
}

QvTooth* QvModel::FindToothAtPosition(int position) const
{
    QvTooth* permanent = nullptr;
    QvTooth* deciduous = nullptr;
    for (QvEntity* entity : m_teeth)
    {
        auto* tooth = static_cast<QvTooth*>(entity);
        const int state = tooth->GetState();
        if (state == kQvToothNotMeasured || state == kQvToothExtracted)
            continue;
        if (m_pSchemes && m_pSchemes->IsExtractedInCurrentScheme(tooth))
            continue;
        const int fdi = tooth->GetFdi();
        if (fdi >= 51)
        {
            if (fdi - 40 == position)
                deciduous = tooth;
        }
        else if (fdi == position)
        {
            permanent = tooth;
        }
    }
    return deciduous ? deciduous : permanent;
}

QvTooth* QvModel::FindArchNeighbour(const QvTooth* tooth, bool forward) const
{
    if (!tooth)
        return nullptr;
    const int quadrant = FdiQuadrant(tooth->GetFdi());
    const int* table = nullptr;
    if (quadrant == 1 || quadrant == 2)
        table = kUpperArch;
    else if (quadrant == 3 || quadrant == 4)
        table = kLowerArch;
    else
        return nullptr;
    std::vector<int> arch(table, table + 26);
    if (!forward)
        std::reverse(arch.begin(), arch.end());
    const auto at = std::find(arch.begin(), arch.end(), tooth->GetFdi());
    if (at == arch.end())
        return nullptr;
    for (auto it = at; it != arch.begin();)
    {
        --it;
        if (QvTooth* found = FindTooth(*it))
            return found;
    }
    return nullptr;
}

QvJaw* QvModel::GetJaw(bool upper) const
{
    for (QvEntity* entity : m_jaws)
        if (auto* jaw = static_cast<QvJaw*>(entity); jaw->IsUpper() == upper)
            return jaw;
    return nullptr;
}

QvJawBone* QvModel::GetJawBone(bool upper) const
{
    for (QvEntity* entity : m_jawBones)
        if (auto* bone = static_cast<QvJawBone*>(entity); bone->IsUpper() == upper)
            return bone;
    return nullptr;
}

QvGum* QvModel::GetGum(bool upper) const
{
    for (QvEntity* entity : m_gums)
        if (auto* gum = static_cast<QvGum*>(entity); gum->HasJaw() && gum->IsUpper() == upper)
            return gum;
    return nullptr;
}

QvToothList* QvModel::GetToothList(bool upper) const
{
    for (QvEntity* entity : m_toothLists)
        if (auto* list = static_cast<QvToothList*>(entity); list->HasJaw() && list->IsUpper() == upper)
            return list;
    return nullptr;
}

QvEntity* QvModel::FindMeshOfVertex(const QvVertex* vertex) const
{
    return FindMeshHolding(*this, vertex, &QvMesh::m_vertices);
}

QvEntity* QvModel::FindMeshOfEdge(const QvEdge* edge) const
{
    return FindMeshHolding(*this, edge, &QvMesh::m_edges);
}

QvEntity* QvModel::FindMeshOfFace(const QvFace* face) const
{
    return FindMeshHolding(*this, face, &QvMesh::m_faces);
}

void QvModel::CollectTeethByFdi(const std::vector<QvTooth*>& teeth, int fdi, std::vector<QvTooth*>& out)
{
    for (QvTooth* tooth : teeth)
        if (tooth && tooth->GetFdi() == fdi)
            out.push_back(tooth);
}

std::vector<QvTooth*> QvModel::GetTeethPreferringDeciduous() const
{
    std::vector<QvTooth*> teeth;
    for (QvEntity* entity : m_teeth)
        teeth.push_back(static_cast<QvTooth*>(entity));
    for (QvEntity* entity : m_teeth)
    {
        const int fdi = static_cast<QvTooth*>(entity)->GetFdi();
        if (fdi < 50)
            continue;
        const auto it = std::find_if(teeth.begin(), teeth.end(),
                                     [fdi](const QvTooth* t) { return t->GetFdi() == fdi - 40; });
        if (it != teeth.end())
            teeth.erase(it);
    }
    return teeth;
}

bool QvModel::HasUndeletedTooth(const std::vector<QvEntity*>& teeth)
{
    return std::any_of(teeth.begin(), teeth.end(),
                       [](const QvEntity* t) { return t && (t->m_state & kQvStateDeleted) == 0; });
}

bool QvModel::UndeletedTeethHaveValidFdi(const std::vector<QvEntity*>& teeth)
{
    for (QvEntity* entity : teeth)
    {
        QvTooth* tooth = AsTooth(entity);
        if (tooth && (tooth->m_state & kQvStateDeleted) == 0 && !tooth->IsValidFdi())
            return false;
    }
    return true;
}

// ---- Image measures ----------------------------------------------------------------------

QvImageMeasure* QvModel::CreateImageMeasure(int type, bool flag)
{
    const QvImageMeasureOps& ops = QvGetImageMeasureOps();
    if (!ops.IsComplete())
        return nullptr;
    QvImageMeasure* measure = ops.create(type);
    if (!measure)
        return nullptr;
    ops.setFlag(measure, flag);
    m_imageMeasures.push_back(measure);
    return measure;
}

QvImageMeasure* QvModel::FindImageMeasure(int type, bool flag) const
{
    const QvImageMeasureOps& ops = QvGetImageMeasureOps();
    if (!ops.IsComplete())
        return nullptr;
    for (QvImageMeasure* measure : m_imageMeasures)
        if (ops.getType(measure) == type && ops.getFlag(measure) == flag)
            return measure;
    return nullptr;
}

void QvModel::GetImageMeasures(int imageKind, std::vector<QvImageMeasure*>& out, bool flag) const
{
    const QvImageMeasureOps& ops = QvGetImageMeasureOps();
    if (imageKind == 0 || !ops.IsComplete())
        return;
    for (QvImageMeasure* measure : m_imageMeasures)
        if (ops.getImageKind(measure) == imageKind && ops.getFlag(measure) == flag)
            out.push_back(measure);
}

QvImageMeasure* QvModel::DetachImageMeasure(int type, bool flag)
{
    if (type == 0)
        return nullptr;
    QvImageMeasure* measure = FindImageMeasure(type, flag);
    if (measure)
        m_imageMeasures.erase(std::find(m_imageMeasures.begin(), m_imageMeasures.end(), measure));
    return measure;
}

// ---- Ordering and boxes --------------------------------------------------------------------

void QvModel::SortTeeth()
{
    std::stable_sort(m_teeth.begin(), m_teeth.end(), [](const QvEntity* a, const QvEntity* b) {
        return FdiArchLess(static_cast<const QvTooth*>(a)->GetFdi(), static_cast<const QvTooth*>(b)->GetFdi());
    });
}

void QvModel::UpdateBBox()
{
    m_bbox.Reset();
    std::vector<QvEntity*> all;
    GetAllEntities(all);
    for (const QvEntity* entity : all)
        m_bbox.Merge(entity->m_bbox);
}
