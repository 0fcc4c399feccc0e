// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/scheme/QvClinicalInfo.h"

#include <charconv>
#include <climits>
#include <istream>
#include <ostream>

#include "core/geometry/QvStreamIO.h"
#include "core/model/QvModel.h"
#include "core/model/QvTooth.h"

namespace {

enum class Form
{
    None,
    Old,
    New
};

// The family bit first, then the code within the family.
Form FormOf(int version)
{
    if (version & 0x2000)
        return version <= 8197 ? Form::Old : Form::New;
    if (version & 0x400)
        return version <= 1041 ? Form::Old : Form::New;
    if (version & 0x200)
        return version <= 515 ? Form::Old : Form::None;
    return Form::None;
}

constexpr std::uint64_t kEntryBytes = 20;
constexpr std::uint64_t kTractionBytes = 22;

// Texts end at their first zero byte, on both sides, as the stored form has no room
// for one inside a text.
std::string UpToZero(const std::string& s) { return s.substr(0, s.find('\0')); }

void WriteText(std::ostream& os, const std::string& s) { qvio::WriteString(os, UpToZero(s)); }

[[nodiscard]] bool ReadText(std::istream& is, std::string& out)
{
    std::string s;
    if (!qvio::ReadString(is, s))
        return false;
    out = UpToZero(s);
    return true;
}

int FdiOf(const QvToothBase* tooth) { return tooth ? tooth->GetPositionFdi() : 0; }

void WriteEntryMap(std::ostream& os, int version, const QvIprMap& map)
{
    qvio::WriteI32(os, static_cast<std::int32_t>(map.size()));
    for (const auto& [step, entries] : map)
    {
        qvio::WriteI32(os, step);
        qvio::WriteI32(os, static_cast<std::int32_t>(entries.size()));
        for (const QvIprEntry& entry : entries)
            entry.Write(os, version);
    }
}

[[nodiscard]] bool ReadEntryMap(std::istream& is, int version, QvModel* model, QvIprMap& out)
{
    std::int32_t steps = 0;
    if (!qvio::ReadI32(is, steps) || !qvio::CountFits(is, steps, 8))
        return false;
    QvIprMap map;
    for (std::int32_t i = 0; i < steps; ++i)
    {
        std::int32_t step = 0;
        std::int32_t count = 0;
        if (!qvio::ReadI32(is, step) || !qvio::ReadI32(is, count) || !qvio::CountFits(is, count, kEntryBytes))
            return false;
        std::vector<QvIprEntry> entries;
        for (std::int32_t k = 0; k < count; ++k)
        {
            QvIprEntry entry;
            if (!entry.Read(is, version, model))
                return false;
            // The panes name an entry by both teeth: one without them cannot be shown.
            if (entry.m_pTooth1 && entry.m_pTooth2)
                entries.push_back(entry);
        }
        map[step] = std::move(entries);
    }
    out = std::move(map);
    return true;
}

// Decimal integer as the old texts hold it: leading blanks, a sign, digits; no digits
// give 0 and values beyond int32 saturate.
int ParseLegacyInt(const std::string& text)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
    {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative)
        value = -value;
    if (value > INT_MAX)
        value = INT_MAX;
    return static_cast<int>(value);
}

} // namespace

// ---- QvIprEntry ----------------------------------------------------------------------

QvIprEntry::QvIprEntry(QvToothBase* tooth1, QvToothBase* tooth2, int value, double amount)
    : m_pTooth1(tooth1), m_pTooth2(tooth2), m_nValue(value), m_dAmount(amount)
{
}

void QvIprEntry::Get(QvToothBase*& tooth1, QvToothBase*& tooth2, int& value, double& amount) const
{
    tooth1 = m_pTooth1;
    tooth2 = m_pTooth2;
    value = m_nValue;
    amount = m_dAmount;
}

std::string QvIprEntry::GetKey() const
{
    return std::to_string(FdiOf(m_pTooth1)) + "-" + std::to_string(FdiOf(m_pTooth2));
}

std::string QvIprEntry::GetAmountText() const
{
    // to_chars rounds as "%.1lf" does in the "C" locale, with no locale involved.
    char buffer[400];
    const auto result = std::to_chars(buffer, buffer + sizeof(buffer), m_dAmount, std::chars_format::fixed, 1);
    if (result.ec != std::errc())
        return std::string();
    return std::string(buffer, result.ptr);
}

bool QvIprEntry::MatchesKey(const std::string& key) const { return GetKey() == key; }

void QvIprEntry::Write(std::ostream& os, int /*version*/) const
{
    qvio::WriteI32(os, FdiOf(m_pTooth1));
    qvio::WriteI32(os, FdiOf(m_pTooth2));
    qvio::WriteI32(os, m_nValue);
    qvio::WriteF64(os, m_dAmount);
}

bool QvIprEntry::Read(std::istream& is, int /*version*/, QvModel* model)
{
    std::int32_t fdi1 = 0;
    std::int32_t fdi2 = 0;
    std::int32_t value = 0;
    double amount = 0.0;
    if (!qvio::ReadI32(is, fdi1) || !qvio::ReadI32(is, fdi2) || !qvio::ReadI32(is, value) ||
        !qvio::ReadF64(is, amount))
        return false;
    m_pTooth1 = model ? model->FindTooth(fdi1) : nullptr;
    m_pTooth2 = model ? model->FindTooth(fdi2) : nullptr;
    m_nValue = value;
    m_dAmount = amount;
    return true;
}

// ---- QvTractionEntry -----------------------------------------------------------------

void QvTractionEntry::Write(std::ostream& os) const
{
    qvio::WriteI32(os, m_nKind);
    qvio::WriteI32(os, m_nFdi1);
    qvio::WriteI32(os, m_nFdi2);
    qvio::WriteU8(os, m_bFlag1 ? 1 : 0);
    qvio::WriteU8(os, m_bFlag2 ? 1 : 0);
    qvio::WriteI32(os, m_nStartStep);
    qvio::WriteI32(os, m_nEndStep);
}

bool QvTractionEntry::Read(std::istream& is)
{
    QvTractionEntry entry;
    std::uint8_t flag1 = 0;
    std::uint8_t flag2 = 0;
    if (!qvio::ReadI32(is, entry.m_nKind) || !qvio::ReadI32(is, entry.m_nFdi1) || !qvio::ReadI32(is, entry.m_nFdi2) ||
        !qvio::ReadU8(is, flag1) || !qvio::ReadU8(is, flag2) || !qvio::ReadI32(is, entry.m_nStartStep) ||
        !qvio::ReadI32(is, entry.m_nEndStep))
        return false;
    entry.m_bFlag1 = flag1 != 0;
    entry.m_bFlag2 = flag2 != 0;
    *this = entry;
    return true;
}

// ---- QvClinicalInfo ------------------------------------------------------------------

QvClinicalInfo::QvClinicalInfo(const QvClinicalInfo& other) { *this = other; }

QvClinicalInfo& QvClinicalInfo::operator=(const QvClinicalInfo& other)
{
    if (&other == this)
        return *this;
    m_iprMap = other.m_iprMap;
    m_adjustments = other.m_adjustments;
    m_tractions = other.m_tractions;
    m_strRemark = other.m_strRemark;
    return *this;
}

void QvClinicalInfo::SetIprMap(const QvIprMap& map)
{
    if (&map != &m_iprMap)
        m_iprMap = map;
}

void QvClinicalInfo::SetAdjustments(const QvIprMap& map)
{
    if (&map != &m_adjustments)
        m_adjustments = map;
}

void QvClinicalInfo::SetTractions(const std::vector<QvTractionEntry>& tractions)
{
    if (&tractions != &m_tractions)
        m_tractions = tractions;
}

void QvClinicalInfo::SetLegacyKinds(int first, int second)
{
    m_nLegacyKind1 = first;
    m_nLegacyKind2 = second;
}

void QvClinicalInfo::GetLegacyKinds(int& first, int& second) const
{
    first = m_nLegacyKind1;
    second = m_nLegacyKind2;
}

bool QvClinicalInfo::HasContent() const
{
    return m_iprMap.size() > 1 || m_adjustments.size() > 1 || !m_strRemark.empty();
}

int QvClinicalInfo::KindFromLegacyCode(int code)
{
    static constexpr int kKinds[7] = {1, 2, 0, 3, 5, 6, 7};
    return code >= 1 && code <= 7 ? kKinds[code - 1] : 0;
}

QvClinicalInfo::LegacyTexts QvClinicalInfo::ToLegacyTexts() const
{
    LegacyTexts texts;
    if (m_tractions.size() < 2)
        return texts;
    const QvTractionEntry& first = m_tractions[0];
    const QvTractionEntry& second = m_tractions[1];
    texts[0] = std::to_string(first.m_nFdi1);
    texts[4] = std::to_string(first.m_nStartStep);
    texts[5] = std::to_string(first.m_nEndStep);
    texts[1] = std::to_string(second.m_nFdi1);
    texts[6] = std::to_string(second.m_nStartStep);
    texts[7] = std::to_string(second.m_nEndStep);
    texts[8] = m_strRemark;
    return texts;
}

void QvClinicalInfo::FromLegacyTexts(const LegacyTexts& texts)
{
    m_strRemark = texts[8];
    for (int i = 9; i <= 12; ++i)
        if (!texts[static_cast<std::size_t>(i)].empty())
            m_strRemark += ";" + texts[static_cast<std::size_t>(i)];
    if (texts[0].empty())
        return;
    QvTractionEntry first;
    first.m_nKind = KindFromLegacyCode(m_nLegacyKind1);
    first.m_nFdi1 = ParseLegacyInt(texts[0]);
    first.m_nStartStep = ParseLegacyInt(texts[4]);
    first.m_nEndStep = ParseLegacyInt(texts[5]);
    QvTractionEntry second;
    second.m_nKind = KindFromLegacyCode(m_nLegacyKind2);
    second.m_nFdi1 = ParseLegacyInt(texts[1]);
    second.m_nStartStep = ParseLegacyInt(texts[6]);
    second.m_nEndStep = ParseLegacyInt(texts[7]);
    m_tractions.push_back(first);
    m_tractions.push_back(second);
}

void QvClinicalInfo::Write(std::ostream& os, int version) const
{
    const Form form = FormOf(version);
    if (form == Form::None)
        return;
    WriteEntryMap(os, version, m_iprMap);
    WriteEntryMap(os, version, m_adjustments);
    if (form == Form::New)
    {
        qvio::WriteI32(os, static_cast<std::int32_t>(m_tractions.size()));
        for (const QvTractionEntry& traction : m_tractions)
            traction.Write(os);
        WriteText(os, m_strRemark);
        return;
    }
    for (const std::string& text : ToLegacyTexts())
        WriteText(os, text);
}

bool QvClinicalInfo::Read(std::istream& is, int version, QvModel* model)
{
    const Form form = FormOf(version);
    if (form == Form::None)
        return false;
    // Read into a scratch record carrying the legacy pair, committed only when whole.
    QvClinicalInfo read;
    read.SetLegacyKinds(m_nLegacyKind1, m_nLegacyKind2);
    if (!ReadEntryMap(is, version, model, read.m_iprMap) || !ReadEntryMap(is, version, model, read.m_adjustments))
        return false;
    if (form == Form::New)
    {
        std::int32_t count = 0;
        if (!qvio::ReadI32(is, count) || !qvio::CountFits(is, count, kTractionBytes))
            return false;
        for (std::int32_t i = 0; i < count; ++i)
        {
            QvTractionEntry traction;
            if (!traction.Read(is))
                return false;
            read.m_tractions.push_back(traction);
        }
        if (!ReadText(is, read.m_strRemark))
            return false;
    }
    else
    {
        LegacyTexts texts;
        for (std::string& text : texts)
            if (!ReadText(is, text))
                return false;
        read.FromLegacyTexts(texts);
    }
    m_iprMap = std::move(read.m_iprMap);
    m_adjustments = std::move(read.m_adjustments);
    m_tractions = std::move(read.m_tractions);
    m_strRemark = std::move(read.m_strRemark);
    return true;
}
