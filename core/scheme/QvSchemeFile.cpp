// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/scheme/QvSchemeFile.h"

#include <cstring>
#include <istream>
#include <map>
#include <memory>
#include <ostream>
#include <unordered_map>
#include <utility>

#include "core/base/QvText.h"
#include "core/design/QvAttachStepList.h"
#include "core/design/QvBracketList.h"
#include "core/geometry/QvStreamIO.h"
#include "core/model/QvInputBounds.h"
#include "core/model/QvModel.h"
#include "core/model/QvTooth.h"
#include "core/model/QvVirtualTooth.h"
#include "core/scheme/QvArchForm.h"
#include "core/scheme/QvClinicalInfo.h"
#include "core/scheme/QvScheme.h"
#include "core/scheme/QvSchemeDetail.h"

namespace {

constexpr int kFamilyScheme = 0x2000;
constexpr int kFamilyOlder = 0x200;
constexpr int kFamilyDocument = 0x400;

constexpr int kBodyFirst = 8193;
constexpr int kBodyLast = 8199;
constexpr int kOlderFirst = 513;
constexpr int kOlderLast = 519;
constexpr int kSectionFirst = 1025;

// The oldest body read its first text into a buffer of 200 bytes.
constexpr int kOldestTextLimit = 199;

// Smallest records, for the count checks before anything is made.
constexpr std::uint64_t kMinStepListBytes = 4;
constexpr std::uint64_t kMinAttachListBytes = 8;
constexpr std::uint64_t kMinVirtualToothBytes = 4;

// ---- Primitive items ----------------------------------------------------------------

// The stored text ends at its first zero byte, as the readers terminate it.
[[nodiscard]] bool ReadText(std::istream& is, std::string& out)
{
    std::string text;
    if (!qvio::ReadString(is, text))
        return false;
    text.resize(std::strlen(text.c_str()));
    out = std::move(text);
    return true;
}

void WriteText(std::ostream& os, const std::string& text) { qvio::WriteString(os, std::string(text.c_str())); }

// The scanned teeth of a set, the only ones a reference by number can name.
std::vector<const QvTooth*> ScannedTeeth(const std::set<QvToothBase*>& teeth)
{
    std::vector<const QvTooth*> out;
    for (const QvToothBase* tooth : teeth)
        if (tooth && tooth->GetType() == kQvTypeTooth)
            out.push_back(static_cast<const QvTooth*>(tooth));
    return out;
}

void WriteToothSet(std::ostream& os, QvToothRefForm form, const std::set<QvToothBase*>& teeth)
{
    const std::vector<const QvTooth*> scanned = ScannedTeeth(teeth);
    qvio::WriteI32(os, static_cast<std::int32_t>(scanned.size()));
    for (const QvTooth* tooth : scanned)
    {
        qvio::WriteI32(os, tooth->GetFdi());
        if (form == QvToothRefForm::Pairs)
            qvio::WriteI32(os, tooth->GetState());
    }
}

// References the model cannot resolve are dropped: a set never holds a null tooth.
[[nodiscard]] bool ReadToothSet(std::istream& is, QvToothRefForm form, QvModel* model, std::set<QvToothBase*>& out)
{
    const std::uint64_t recordBytes = form == QvToothRefForm::Pairs ? 8 : 4;
    std::int32_t count = 0;
    if (!qvio::ReadI32(is, count) || !qvio::CountFits(is, count, recordBytes))
    {
        is.setstate(std::ios::failbit);
        return false;
    }
    // A long set names the same few teeth again and again: each reference is looked up once.
    std::map<std::pair<std::int32_t, std::int32_t>, QvTooth*> resolved;
    for (std::int32_t i = 0; i < count; ++i)
    {
        std::int32_t fdi = 0;
        std::int32_t state = 0;
        if (!qvio::ReadI32(is, fdi) || (form == QvToothRefForm::Pairs && !qvio::ReadI32(is, state)))
            return false;
        if (!model)
            continue;
        const auto [at, fresh] = resolved.try_emplace({fdi, state}, nullptr);
        if (fresh)
            at->second =
                form == QvToothRefForm::Pairs ? model->FindToothInState(fdi, state) : model->FindTooth(fdi);
        if (at->second)
            out.insert(at->second);
    }
    return true;
}

// int32 flag, then the record when present.
template <typename Record>
void WriteFlagged(std::ostream& os, int version, const Record* record)
{
    qvio::WriteI32(os, record ? 1 : 0);
    if (record)
        record->Write(os, version);
}

// A flag of 1 makes the record, stored in slot before it is read; its failure fails
// the body (the record stays stored and goes with the scheme).
template <typename Record>
[[nodiscard]] bool ReadFlagged(std::istream& is, int version, Record*& slot)
{
    std::int32_t flag = 0;
    if (!qvio::ReadI32(is, flag))
        return false;
    if (flag != 1)
        return true;
    delete slot;
    slot = new Record();
    return slot->Read(is, version);
}

// The first text of the oldest body: a decimal length in text form after optional
// white space, one separator character, then that many bytes when above 0.
[[nodiscard]] bool ReadOldestText(std::istream& is, std::string& out)
{
    int c = is.peek();
    while (c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r')
    {
        is.get();
        c = is.peek();
    }
    bool negative = false;
    if (c == '-' || c == '+')
    {
        negative = c == '-';
        is.get();
        c = is.peek();
    }
    // More digits than any length this record can have are not read on.
    std::int64_t length = 0;
    int digits = 0;
    while (c >= '0' && c <= '9')
    {
        if (++digits > 10)
        {
            is.setstate(std::ios::failbit);
            return false;
        }
        length = length * 10 + (c - '0');
        is.get();
        c = is.peek();
    }
    if (negative)
        length = -length;
    if (digits == 0 || length > kOldestTextLimit)
    {
        is.setstate(std::ios::failbit);
        return false;
    }
    if (is.get() == std::char_traits<char>::eof())
        return false;
    std::string text;
    if (length > 0)
    {
        text.resize(static_cast<std::size_t>(length));
        if (!is.read(text.data(), length))
            return false;
        text.resize(std::strlen(text.c_str()));
    }
    out = std::move(text);
    return true;
}

// ---- Reading --------------------------------------------------------------------------

class SchemeReader
{
public:
    SchemeReader(QvScheme& scheme, std::istream& is, int version, QvModel* model, const QvSchemeLayout& layout)
        : m_scheme(scheme), m_is(is), m_version(version), m_pModel(model), m_layout(layout)
    {
    }

    // Items up to the saved targets, then the targets: a body that failed leaves the
    // stream at no meaningful place, so the targets are not read after it.
    [[nodiscard]] bool Run()
    {
        const bool ok = ReadItems() && ReadTargets();
        UnregisterVirtualTeeth();
        return ok;
    }

private:
    [[nodiscard]] bool ReadItems()
    {
        if (m_layout.oldest)
            return ReadOldest();
        if (!ReadText(m_is, m_scheme.m_strName) || !ReadText(m_is, m_scheme.m_strText1) ||
            !ReadText(m_is, m_scheme.m_strText2) || !qvio::ReadI32(m_is, m_scheme.m_nValue))
            return false;
        if (!ReadToothSet(m_is, m_layout.toothRefs, m_pModel, m_scheme.m_extractedTeeth) ||
            !ReadToothSet(m_is, m_layout.toothRefs, m_pModel, m_scheme.m_hiddenTeeth))
            return false;
        if (m_layout.virtualTeeth && !ReadVirtualTeeth())
            return false;
        if (!ReadStepLists())
            return false;
        UnregisterVirtualTeeth();
        if (m_layout.attachLists && !ReadAttachLists())
            return false;
        std::int32_t kinds[2] = {0, 0};
        if (m_layout.legacyKinds && (!qvio::ReadI32(m_is, kinds[0]) || !qvio::ReadI32(m_is, kinds[1])))
            return false;
        if (!m_layout.legacyKindsUsed)
            kinds[0] = kinds[1] = 0;
        if (m_layout.shapes && !ReadShapes())
            return false;
        if (m_layout.clinical && !ReadClinical(kinds[0], kinds[1]))
            return false;
        if (m_layout.brackets && !ReadBrackets())
            return false;
        return true;
    }

    // 513: no stored name; the step-list count comes before the tooth sets, and a
    // count of 0 ends the body.
    [[nodiscard]] bool ReadOldest()
    {
        static const std::string untitled = Gb18030FromUtf8("未命名");
        m_scheme.m_strName = untitled;
        std::int32_t lists = 0;
        if (!ReadOldestText(m_is, m_scheme.m_strText1) || !qvio::ReadI32(m_is, m_scheme.m_nValue) ||
            !qvio::ReadI32(m_is, lists))
            return false;
        if (!ReadToothSet(m_is, QvToothRefForm::Numbers, m_pModel, m_scheme.m_extractedTeeth) ||
            !ReadToothSet(m_is, QvToothRefForm::Numbers, m_pModel, m_scheme.m_hiddenTeeth))
            return false;
        if (lists < 0)
        {
            m_is.setstate(std::ios::failbit);
            return false;
        }
        if (lists == 0)
            return true;
        return ReadStepListBodies(lists) && ReadShapes();
    }

    // Each is filed in the model while the steps are read, as other readers expect;
    // the steps themselves look in the scheme's own virtual teeth first.
    [[nodiscard]] bool ReadVirtualTeeth()
    {
        std::int32_t count = 0;
        if (!qvio::ReadI32(m_is, count) || count > kQvMaxVirtualTeeth ||
            !qvio::CountFits(m_is, count, kMinVirtualToothBytes))
        {
            m_is.setstate(std::ios::failbit);
            return false;
        }
        for (std::int32_t i = 0; i < count; ++i)
        {
            auto tooth = std::make_unique<QvVirtualTooth>();
            // A record that fails leaves the stream at no meaningful place.
            if (!tooth->Read(m_is, m_version, m_pModel))
                return false;
            QvVirtualTooth* added = tooth.release();
            m_scheme.m_virtualTeeth.push_back(added);
            if (m_pModel)
            {
                m_pModel->AddEntity(added);
                m_registered.push_back(added);
            }
        }
        return true;
    }

    // Only the very objects filed: another entity may hold an equal id.
    void UnregisterVirtualTeeth()
    {
        if (!m_pModel)
            return;
        for (QvVirtualTooth* tooth : m_registered)
        {
            if (m_pModel->FindEntity(tooth->GetID()) == tooth)
                m_pModel->RemoveEntity(tooth->GetID(), false);
            std::erase(m_pModel->m_virtualTeeth, static_cast<QvEntity*>(tooth));
        }
        m_registered.clear();
    }

    [[nodiscard]] bool ReadStepLists()
    {
        std::int32_t count = 0;
        if (!qvio::ReadI32(m_is, count))
            return false;
        return ReadStepListBodies(count);
    }

    [[nodiscard]] bool ReadStepListBodies(std::int32_t count)
    {
        if (count > kQvMaxSchemeSteps || !qvio::CountFits(m_is, count, kMinStepListBytes))
        {
            m_is.setstate(std::ios::failbit);
            return false;
        }
        const QvToothCandidates* candidates = &m_scheme.m_virtualTeeth;
        for (std::int32_t i = 0; i < count; ++i)
        {
            auto list = std::make_unique<QvTreatStepList>();
            const bool ok = m_layout.document ? list->ReadDocument(m_is, m_version, m_pModel, candidates)
                                              : list->Read(m_is, m_version, m_pModel, candidates);
            if (!ok)
                return false;
            // A list holds the steps of its own number, whatever a damaged record says.
            for (QvTreatStep* step : list->m_steps)
                step->m_nStep = static_cast<std::int32_t>(m_scheme.m_stepLists.size());
            m_scheme.m_stepLists.push_back(list.release());
        }
        return true;
    }

    [[nodiscard]] bool ReadAttachLists()
    {
        std::int32_t count = 0;
        if (!qvio::ReadI32(m_is, count) || !qvio::CountFits(m_is, count, kMinAttachListBytes))
        {
            m_is.setstate(std::ios::failbit);
            return false;
        }
        // The scheme disposes of its attachments through the attachment link.
        if (count > 0 && !QvGetSchemeAttachLink())
            return false;
        for (std::int32_t i = 0; i < count; ++i)
        {
            auto list = std::make_unique<QvAttachStepList>();
            if (!list->Read(m_is, m_version, m_pModel))
                return false;
            m_scheme.m_attachLists.push_back(list.release());
        }
        return true;
    }

    [[nodiscard]] bool ReadShapes()
    {
        return ReadFlagged(m_is, m_version, m_scheme.m_pOcclusalPlane1) &&
               ReadFlagged(m_is, m_version, m_scheme.m_pOcclusalPlane2) &&
               ReadFlagged(m_is, m_version, m_scheme.m_pArchForm1) &&
               ReadFlagged(m_is, m_version, m_scheme.m_pArchForm2);
    }

    [[nodiscard]] bool ReadClinical(int kind1, int kind2)
    {
        std::int32_t flag = 0;
        if (!qvio::ReadI32(m_is, flag))
            return false;
        if (flag != 1)
            return true;
        auto info = std::make_unique<QvClinicalInfo>();
        info->SetLegacyKinds(kind1, kind2);
        if (!info->Read(m_is, m_version, m_pModel))
            return false;
        delete m_scheme.m_pClinicalInfo;
        m_scheme.m_pClinicalInfo = info.release();
        return true;
    }

    [[nodiscard]] bool ReadBrackets()
    {
        std::int32_t flag = 0;
        if (!qvio::ReadI32(m_is, flag))
            return false;
        if (flag == 0)
            return true;
        QvBracketList* list = m_scheme.GetBracketList();
        return list && list->Read(m_is, m_version, m_pModel);
    }

    [[nodiscard]] bool ReadTargets()
    {
        const QvToothCandidates* candidates = &m_scheme.m_virtualTeeth;
        QvSchemeTargetMgr& targets = m_scheme.m_targetMgr;
        switch (m_layout.targets)
        {
        case QvTargetForm::None:
            return true;
        case QvTargetForm::Scheme:
            return targets.Read(m_is, m_version, m_pModel, candidates);
        case QvTargetForm::Document:
            return targets.ReadDocument(m_is, m_version, m_pModel, candidates);
        case QvTargetForm::Legacy:
            return targets.ReadLegacy(m_is, m_version, m_pModel);
        }
        return false;
    }

    QvScheme& m_scheme;
    std::istream& m_is;
    int m_version;
    QvModel* m_pModel;
    const QvSchemeLayout& m_layout;
    std::vector<QvVirtualTooth*> m_registered;
};

// From the last list down, empty lists go; the first list holding a step stops it.
void DeleteTrailingEmptyLists(std::vector<QvTreatStepList*>& lists)
{
    while (!lists.empty() && lists.back()->m_steps.empty())
    {
        delete lists.back();
        lists.pop_back();
    }
}

// ---- Writing --------------------------------------------------------------------------

void WriteItems(const QvScheme& scheme, std::ostream& os, int version, const QvSchemeLayout& layout)
{
    WriteText(os, scheme.m_strName);
    WriteText(os, scheme.m_strText1);
    WriteText(os, scheme.m_strText2);
    qvio::WriteI32(os, scheme.m_nValue);
    WriteToothSet(os, layout.toothRefs, scheme.m_extractedTeeth);
    WriteToothSet(os, layout.toothRefs, scheme.m_hiddenTeeth);
    if (layout.virtualTeeth)
    {
        qvio::WriteI32(os, static_cast<std::int32_t>(scheme.m_virtualTeeth.size()));
        for (const QvToothBase* tooth : scheme.m_virtualTeeth)
            tooth->Write(os, version);
    }
    qvio::WriteI32(os, static_cast<std::int32_t>(scheme.m_stepLists.size()));
    for (const QvTreatStepList* list : scheme.m_stepLists)
    {
        if (layout.document)
            list->WriteDocument(os, version);
        else
            list->Write(os, version);
    }
    qvio::WriteI32(os, static_cast<std::int32_t>(scheme.m_attachLists.size()));
    for (const QvAttachStepList* list : scheme.m_attachLists)
        list->Write(os, version);
    if (layout.legacyKinds)
    {
        int kind1 = 0;
        int kind2 = 0;
        if (scheme.m_pClinicalInfo)
            scheme.m_pClinicalInfo->GetLegacyKinds(kind1, kind2);
        qvio::WriteI32(os, kind1);
        qvio::WriteI32(os, kind2);
    }
    WriteFlagged(os, version, scheme.m_pOcclusalPlane1);
    WriteFlagged(os, version, scheme.m_pOcclusalPlane2);
    WriteFlagged(os, version, scheme.m_pArchForm1);
    WriteFlagged(os, version, scheme.m_pArchForm2);
    WriteFlagged(os, version, scheme.m_pClinicalInfo);
    if (layout.brackets)
        WriteFlagged(os, version, scheme.m_pBracketList);
}

} // namespace

// ---- Layouts ----------------------------------------------------------------------------

QvSchemeLayout QvSchemeBodyLayout(int version)
{
    QvSchemeLayout layout;
    if (version & kFamilyScheme)
    {
        if (version < kBodyFirst || version > kBodyLast)
            return layout;
        layout.known = true;
        layout.virtualTeeth = version >= 8198;
        layout.legacyKinds = layout.legacyKindsUsed = version <= 8197;
        layout.brackets = version >= 8197;
        layout.targets = version >= 8195 ? QvTargetForm::Scheme : QvTargetForm::None;
        return layout;
    }
    if (version & kFamilyOlder)
    {
        if (version < kOlderFirst || version > kOlderLast)
            return layout;
        layout.known = true;
        if (version == kOlderFirst)
        {
            layout.oldest = true;
            layout.toothRefs = QvToothRefForm::Numbers;
            layout.attachLists = false;
            layout.clinical = false;
            return layout;
        }
        if (version <= 515)
        {
            layout.toothRefs = QvToothRefForm::Numbers;
            layout.legacyKinds = true;
            // 514 stores the pair but no clinical record to take it.
            layout.legacyKindsUsed = layout.clinical = version == 515;
            return layout;
        }
        layout.legacyKinds = layout.legacyKindsUsed = true;
        layout.targets = QvTargetForm::Legacy;
    }
    return layout;
}

QvSchemeLayout QvSchemeSectionLayout(int version)
{
    QvSchemeLayout layout;
    if (version < kSectionFirst)
        return layout;
    layout.known = true;
    layout.document = true;
    layout.toothRefs = version <= 1026 ? QvToothRefForm::Numbers : QvToothRefForm::Pairs;
    layout.virtualTeeth = version >= 1042;
    layout.legacyKinds = layout.legacyKindsUsed = version <= 1041;
    layout.targets = version >= 1027 ? QvTargetForm::Document : QvTargetForm::None;
    return layout;
}

// ---- QvScheme ---------------------------------------------------------------------------

void QvScheme::Write(std::ostream& os, int version) const
{
    // The older family is only read.
    const QvSchemeLayout layout = QvSchemeBodyLayout(version);
    if (!layout.known || !(version & kFamilyScheme))
    {
        os.setstate(std::ios::failbit);
        return;
    }
    WriteItems(*this, os, version, layout);
    m_targetMgr.Write(os, version);
}

void QvScheme::WriteDocument(std::ostream& os, int version) const
{
    const QvSchemeLayout layout = QvSchemeSectionLayout(version);
    if (!layout.known)
    {
        os.setstate(std::ios::failbit);
        return;
    }
    WriteItems(*this, os, version, layout);
    if (layout.targets == QvTargetForm::Document)
        m_targetMgr.WriteDocument(os, version);
}

namespace {

[[nodiscard]] bool ReadScheme(QvScheme& scheme, std::istream& is, int version, QvModel* model,
                              const QvSchemeLayout& layout)
{
    bool ok = false;
    if (layout.known)
    {
        scheme.Clear(true);
        ok = SchemeReader(scheme, is, version, model, layout).Run();
    }
    scheme.SetModel(model);
    DeleteTrailingEmptyLists(scheme.m_stepLists);
    scheme.FixOldInitialSteps(version);
    return ok;
}

} // namespace

bool QvScheme::Read(std::istream& is, int version, QvModel* model)
{
    return ReadScheme(*this, is, version, model, QvSchemeBodyLayout(version));
}

bool QvScheme::ReadDocument(std::istream& is, int version, QvModel* model)
{
    return ReadScheme(*this, is, version, model, QvSchemeSectionLayout(version));
}

void QvScheme::FixOldInitialSteps(int version)
{
    bool old = false;
    if (version & kFamilyScheme)
        old = version < 8196;
    else if (version & kFamilyDocument)
        old = version < 1034;
    else if (version & kFamilyOlder)
        old = version < 520;
    if (!old || !m_pModel)
        return;

    const QvMatrix identity = qvscheme::Identity4();
    // Taken before any change: a tooth's own fix never makes another tooth's initial step.
    std::unordered_map<const QvToothBase*, QvTreatStep*> initialSteps = InitialSteps();
    for (QvEntity* entity : m_pModel->m_teeth)
    {
        auto* tooth = static_cast<QvToothBase*>(entity);
        const auto found = initialSteps.find(tooth);
        if (found == initialSteps.end())
            continue;
        QvTreatStep* initial = found->second;
        // Fixed once, even for a tooth listed twice.
        initialSteps.erase(found);
        const int s = initial->m_nStep;
        if (s <= 0 || s >= static_cast<int>(m_stepLists.size()))
            continue;
        const std::size_t next = static_cast<std::size_t>(s) + 1;
        const bool movesOn = next < m_stepLists.size() && m_stepLists[next]->FindStep(tooth) != nullptr;
        if (!m_stepLists[static_cast<std::size_t>(s)]->RemoveStep(initial))
            continue;
        InsertTreatStep(tooth, 0, kQvStepInitial, identity);
        if (movesOn)
            for (int k = 1; k <= s; ++k)
                InsertTreatStep(tooth, k, kQvStepHold, identity);
    }
}

QvTreatStepList* QvScheme::GetStepList(int step) const
{
    if (step < 0 || step >= static_cast<int>(m_stepLists.size()))
        return nullptr;
    return m_stepLists[static_cast<std::size_t>(step)];
}
