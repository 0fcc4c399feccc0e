// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/model/QvPatientInfo.h"

#include <algorithm>
#include <cstring>
#include <istream>
#include <ostream>
#include <utility>
#include <vector>

#include "core/geometry/QvStreamIO.h"
#include "core/model/QvFileVersion.h"
#include "core/model/QvImage.h"

namespace {

enum class Form
{
    None,
    OldFixed,
    Current,
    Image,
};

constexpr std::size_t kText1Width = 256;
constexpr std::size_t kText2Width = 8;
constexpr std::size_t kText3Width = 32;
constexpr std::size_t kTitleWidth = 32;
constexpr std::size_t kReservedBytes = 3 * 256;

// The families are tested in this order, so a word with several family bits takes
// the first that matches.
Form ReadForm(int version)
{
    if (version & kQvVersionOS)
    {
        if (version <= 1026)
            return Form::OldFixed;
        return version == 1027 ? Form::Image : Form::Current;
    }
    if (version & kQvVersionTSD)
        return version <= 260 ? Form::OldFixed : Form::Image;
    if (version & kQvVersionDM)
        return version <= 2049 ? Form::OldFixed : Form::Current;
    if ((version & kQvVersionRVS) && version <= 8199)
        return Form::Current;
    return Form::None;
}

Form WriteForm(int version)
{
    if (version & kQvVersionOS)
        return Form::Current;
    // The 0x100 family writes what its reader reads, so that its files round-trip.
    if (version & kQvVersionTSD)
        return version <= 260 ? Form::OldFixed : Form::Image;
    return Form::Current;
}

void WriteField(std::ostream& os, const std::string& text, std::size_t width)
{
    char field[kText1Width] = {};
    std::memcpy(field, text.data(), std::min(text.size(), width));
    os.write(field, static_cast<std::streamsize>(width));
}

[[nodiscard]] bool ReadField(std::istream& is, std::string& text, std::size_t width)
{
    char field[kText1Width];
    if (!is.read(field, static_cast<std::streamsize>(width)))
        return false;
    text.assign(field, strnlen(field, width));
    return true;
}

// The texts of one record, read before anything of the record changes.
struct Texts
{
    std::string text1;
    std::string text2;
    std::string text3;
    std::int32_t plan = 1;
    std::string title;
};

[[nodiscard]] bool ReadOldFixed(std::istream& is, Texts& t)
{
    if (!ReadField(is, t.text1, kText1Width) || !ReadField(is, t.text2, kText2Width) ||
        !ReadField(is, t.text3, kText3Width) || !qvio::ReadI32(is, t.plan) || !ReadField(is, t.title, kTitleWidth))
        return false;
    char reserved[kReservedBytes];
    return static_cast<bool>(is.read(reserved, kReservedBytes));
}

[[nodiscard]] bool ReadCurrent(std::istream& is, Texts& t)
{
    return QvPatientInfo::ReadText(is, t.text1) && QvPatientInfo::ReadText(is, t.text2) &&
           QvPatientInfo::ReadText(is, t.text3) && qvio::ReadI32(is, t.plan) && QvPatientInfo::ReadText(is, t.title);
}

// int32 key, int32 length: the least an image record takes.
constexpr std::uint64_t kMinImageRecord = 8;

} // namespace

QvPatientImage::~QvPatientImage() { delete m_pImage; }

QvPatientInfo::~QvPatientInfo() { ClearImages(); }

QvPatientInfo& QvPatientInfo::operator=(const QvPatientInfo& other)
{
    if (this != &other)
    {
        m_text1 = other.m_text1;
        m_text2 = other.m_text2;
        m_text3 = other.m_text3;
        m_nPlan = other.m_nPlan;
        m_title = other.m_title;
        ClearImages();
    }
    return *this;
}

bool QvPatientInfo::operator==(const QvPatientInfo& other) const { return m_title == other.m_title; }

void QvPatientInfo::Clear()
{
    m_text1.clear();
    m_text2.clear();
    m_text3.clear();
    m_title.clear();
    m_nPlan = 1;
    ClearImages();
}

void QvPatientInfo::ClearImages()
{
    std::map<int, QvPatientImage*> doomed;
    doomed.swap(m_images);
    for (auto& entry : doomed)
        delete entry.second;
}

std::string QvPatientInfo::GetPlanName() const { return "P" + std::to_string(m_nPlan); }

QvPatientImage* QvPatientInfo::FindImage(int key) const
{
    const auto it = m_images.find(key);
    return it == m_images.end() ? nullptr : it->second;
}

void QvPatientInfo::SetImage(int key, QvPatientImage* record)
{
    QvPatientImage*& slot = m_images[key];
    // The table owns its records: one replaced here would otherwise be lost.
    if (slot != record)
        delete slot;
    slot = record;
}

void QvPatientInfo::WriteText(std::ostream& os, const std::string& text) { qvio::WriteString(os, text); }

bool QvPatientInfo::ReadText(std::istream& is, std::string& text) { return qvio::ReadString(is, text); }

void QvPatientInfo::WriteImageForm(std::ostream& os) const
{
    WriteText(os, m_text1);
    WriteText(os, m_text2);
    WriteText(os, m_text3);
    qvio::WriteI32(os, m_nPlan);
    WriteText(os, m_title);
    qvio::WriteI32(os, static_cast<std::int32_t>(m_images.size()));
    for (const auto& [key, record] : m_images)
    {
        qvio::WriteI32(os, key);
        WriteText(os, record ? record->m_name : std::string());
    }
}

void QvPatientInfo::Write(std::ostream& os, int version) const
{
    switch (WriteForm(version))
    {
    case Form::OldFixed:
    {
        WriteField(os, m_text1, kText1Width);
        WriteField(os, m_text2, kText2Width);
        WriteField(os, m_text3, kText3Width);
        qvio::WriteI32(os, m_nPlan);
        WriteField(os, m_title, kTitleWidth);
        const char reserved[kReservedBytes] = {};
        os.write(reserved, kReservedBytes);
        break;
    }
    case Form::Image:
        WriteImageForm(os);
        break;
    case Form::Current:
    case Form::None:
        WriteText(os, m_text1);
        WriteText(os, m_text2);
        WriteText(os, m_text3);
        qvio::WriteI32(os, m_nPlan);
        WriteText(os, m_title);
        break;
    }
}

bool QvPatientInfo::Read(std::istream& is, int version)
{
    const Form form = ReadForm(version);
    if (form == Form::None)
        return false;

    Texts texts;
    std::vector<std::pair<int, std::string>> images;
    if (form == Form::OldFixed)
    {
        if (!ReadOldFixed(is, texts))
            return false;
    }
    else
    {
        if (!ReadCurrent(is, texts))
            return false;
        if (form == Form::Image)
        {
            std::int32_t count = 0;
            if (!qvio::ReadI32(is, count) || !qvio::CountFits(is, count, kMinImageRecord))
            {
                is.setstate(std::ios::failbit);
                return false;
            }
            images.resize(static_cast<std::size_t>(count));
            for (auto& [key, name] : images)
            {
                std::int32_t k = 0;
                if (!qvio::ReadI32(is, k) || !ReadText(is, name))
                    return false;
                key = k;
            }
        }
    }

    m_text1 = std::move(texts.text1);
    m_text2 = std::move(texts.text2);
    m_text3 = std::move(texts.text3);
    m_nPlan = texts.plan;
    m_title = std::move(texts.title);
    for (auto& [key, name] : images)
    {
        // The first record of a key stays; a repeated key is dropped.
        if (m_images.count(key) != 0)
            continue;
        auto* record = new QvPatientImage();
        record->m_name = std::move(name);
        m_images.emplace(key, record);
    }
    return true;
}
