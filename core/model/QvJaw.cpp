// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/model/QvJaw.h"

#include <algorithm>

#include "core/geometry/QvStreamIO.h"
#include "core/model/QvModel.h"
#include "core/model/QvModelDetail.h"

// ---- Links --------------------------------------------------------------------------

void QvJawLink::Reset(QvJaw* jaw)
{
    if (m_pJaw == jaw)
        return;
    if (m_pJaw)
    {
        const std::lock_guard<std::mutex> lock(m_pJaw->m_linksMutex);
        std::vector<QvJawLink*>& links = m_pJaw->m_links;
        links.erase(std::remove(links.begin(), links.end(), this), links.end());
    }
    m_pJaw = jaw;
    if (m_pJaw)
    {
        const std::lock_guard<std::mutex> lock(m_pJaw->m_linksMutex);
        m_pJaw->m_links.push_back(this);
    }
}

QvJaw* qvmodel::FindJawById(const QvModel* model, std::int32_t id)
{
    if (!model)
        return nullptr;
    QvEntity* entity = model->FindEntity(id);
    // An id that names another kind of entity binds nothing rather than a wrong type.
    return entity && entity->GetType() == kQvTypeJaw ? static_cast<QvJaw*>(entity) : nullptr;
}

// ---- Jaw ----------------------------------------------------------------------------

QvJaw::QvJaw() = default;

QvJaw::QvJaw(const QvJaw& other)
    : QvMesh(other), m_bUpper(other.m_bUpper), m_frame(other.m_frame), m_labels(other.m_labels)
{
}

QvJaw& QvJaw::operator=(const QvJaw& other)
{
    if (this != &other)
    {
        QvMesh::operator=(other);
        m_bUpper = other.m_bUpper;
        m_frame = other.m_frame;
        m_labels = other.m_labels;
    }
    return *this;
}

QvJaw::~QvJaw()
{
    // Each link drops itself from m_links only through Reset; clear them directly.
    const std::lock_guard<std::mutex> lock(m_linksMutex);
    for (QvJawLink* link : m_links)
        link->m_pJaw = nullptr;
    m_links.clear();
}

QvTypeCode QvJaw::GetType() const { return kQvTypeJaw; }

bool QvJaw::IsKindOf(QvTypeCode code) const { return code == kQvTypeJaw || QvMesh::IsKindOf(code); }

bool QvJaw::Read(std::istream& is, int version, QvModel* model)
{
    qvmodel::Scratch<QvMesh> mesh;
    QvFrame frame;
    bool upper = true;
    if (!mesh->Read(is, version, model) || !frame.Read(is) || !qvmodel::ReadFlagByte(is, upper))
        return false;
    const std::size_t count = mesh->m_vertices.size();
    if (!qvio::CountFits(is, static_cast<std::int64_t>(count), 4))
    {
        is.setstate(std::ios::failbit);
        return false;
    }
    std::vector<std::int32_t> labels(count, -1);
    for (std::int32_t& label : labels)
        if (!qvio::ReadI32(is, label))
            return false;

    qvmodel::SwapMeshData(*this, *mesh, true);
    m_frame = frame;
    m_bUpper = upper;
    m_labels = std::move(labels);
    SetSelected(false);
    return true;
}

std::ostream& QvJaw::WriteFull(std::ostream& os, int version) const
{
    QvMesh::Write(os, version);
    m_frame.Write(os);
    qvio::WriteU8(os, m_bUpper ? 1 : 0);
    for (const std::int32_t label : m_labels)
        qvio::WriteI32(os, label);
    return os;
}

std::ostream& QvJaw::WriteRecord(std::ostream& os, int) const
{
    qvio::WriteI32(os, m_id);
    qvio::WriteU8(os, m_bUpper ? 1 : 0);
    m_frame.Write(os);
    return os;
}

bool QvJaw::ReadRecord(std::istream& is)
{
    std::int32_t id = 0;
    bool upper = true;
    QvFrame frame;
    if (!qvio::ReadI32(is, id) || !qvmodel::ReadFlagByte(is, upper) || !frame.Read(is))
        return false;
    m_id = id;
    m_bUpper = upper;
    m_frame = frame;
    return true;
}

void QvJaw::Transform(const QvMatrix& matrix)
{
    QvMesh::Transform(matrix);
    m_frame.Transform(matrix);
}

void QvJaw::InitLabels()
{
    if (!m_vertices.empty())
        m_labels.assign(m_vertices.size(), -1);
}
