// SPDX-License-Identifier: GPL-3.0-or-later
// The header record of a case: three texts nothing interprets, a plan number, the
// title (the case number) and a table of named images.
//
// Binary forms (the version word selects one, see Read and Write):
//   old fixed   1,100 bytes: text1 (256), text2 (8), text3 (32) zero-padded, int32
//               plan, title (32) zero-padded, 768 reserved zero bytes
//   current     text1, text2, text3 as int32 length and bytes, int32 plan, title
//   image       current, then int32 count and per image int32 key and its name
#pragma once

#include <cstdint>
#include <iosfwd>
#include <map>
#include <string>

class QvImage;

struct QvPatientImage
{
    QvPatientImage() = default;
    QvPatientImage(const QvPatientImage&) = delete;
    QvPatientImage& operator=(const QvPatientImage&) = delete;
    ~QvPatientImage();

    QvImage* m_pImage = nullptr; // owned; null unless set by its user
    std::string m_name;
};

class QvPatientInfo
{
public:
    // Empty texts, plan 1, no images.
    QvPatientInfo() = default;
    QvPatientInfo(const QvPatientInfo&) = delete;
    virtual ~QvPatientInfo();

    // Texts, plan and title; the own image table is emptied, not copied.
    QvPatientInfo& operator=(const QvPatientInfo& other);
    // Titles equal byte for byte.
    bool operator==(const QvPatientInfo& other) const;

    // Empty texts and title, plan 1, no images.
    void Clear();
    // Deletes every image record (and its image).
    void ClearImages();

    const std::string& GetTitle() const { return m_title; }
    void SetTitle(const std::string& title) { m_title = title; }
    // "P<plan>".
    std::string GetPlanName() const;
    // The record under key; null when none.
    QvPatientImage* FindImage(int key) const;
    // Stores record under key (owned from then on); a different record stored there
    // before is deleted.
    void SetImage(int key, QvPatientImage* record);
    // Always true: nothing in the record can be invalid.
    bool IsValid() const { return true; }

    // The form the version selects: current for case documents, dental models and
    // scheme files (and any other word); old fixed for the 0x100 family up to 260,
    // image form from 261 on (the form its reader reads).
    void Write(std::ostream& os, int version) const;
    // Case documents up to 1026 old fixed, 1027 image form, later current; 0x100
    // family up to 260 old fixed, later image form; dental models up to 2049 old
    // fixed, later current; scheme files up to 8199 current. Any other word reads
    // nothing and answers false. False also on a short stream or a negative or
    // impossible length or count; the record is then unchanged.
    [[nodiscard]] bool Read(std::istream& is, int version);
    // The image form: current form, then the image names.
    void WriteImageForm(std::ostream& os) const;

    // One text as int32 length and bytes.
    static void WriteText(std::ostream& os, const std::string& text);
    [[nodiscard]] static bool ReadText(std::istream& is, std::string& text);

    std::string m_text1;
    std::string m_text2;
    std::string m_text3;
    std::int32_t m_nPlan = 1;
    std::string m_title;
    std::map<int, QvPatientImage*> m_images; // owned
};
