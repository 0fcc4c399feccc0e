// SPDX-License-Identifier: GPL-3.0-or-later
// The program's INI configuration: every section, key and comment of the shipped
// file "Rivela.ini", the user's own changes over it, and the service addresses of
// section "Url" derived from the configured domains.
//
// Texts are byte strings (the file's values are UTF-8). Section names and keys are
// compared byte for byte. Results are 0 (success) and -1 (not found or failed).
// Every member is safe to call from any thread: lookups from worker threads may
// overlap a rebuild of the "Url" keys and see either the old or the new table.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct IniItem {
    std::string key;
    std::string value;
    std::string comment; // comment lines before the item joined by "\n", then its own line's tail
};

struct IniSection {
    std::string name;
    std::string comment;
    std::vector<IniItem> items; // file order; a key may occur more than once
};

class IniFile {
public:
    // The process-wide configuration.
    static IniFile& Instance();

    IniFile();
    virtual ~IniFile();
    IniFile(const IniFile&) = delete;
    IniFile& operator=(const IniFile&) = delete;

    // Replaces everything with the file at path, then with the entries of the user's
    // copy (when one is set and exists; its "Url" section is not taken, as the
    // addresses are derived anew), then derives the "Url" keys. -1 when the
    // file cannot be opened or a header has no "]" or repeats a section (what was
    // read stays, no "Url" key is derived); messages go to standard error.
    int Load(const std::string& path);

    // Where changes are saved: the user's copy of the shipped file. Empty (the
    // default): changes are saved over the loaded file itself.
    void SetUserFile(const std::string& path);
    std::string UserFile() const;

    // Writes the whole configuration to path through a temporary file and a rename;
    // -1 (old file kept, message on standard error) when that fails.
    int SaveAs(const std::string& path);
    // SaveAs to the user's copy, or to the loaded file when no copy is set.
    int Save();
    // How many saves were attempted (tests).
    int SaveCount() const;

    // Value and comment of the first item with the key; outputs untouched on -1.
    int GetValueAndComment(const std::string& section, const std::string& key, std::string* value,
                           std::string* comment) const;
    // The value, "" when missing; the result code goes to *ret when given.
    std::string GetValue(const std::string& section, const std::string& key, int* ret = nullptr) const;
    // *value keeps what it held on -1.
    int GetStringValue(const std::string& section, const std::string& key, std::string* value) const;
    int GetIntValue(const std::string& section, const std::string& key, int* ret = nullptr) const;
    double GetDoubleValue(const std::string& section, const std::string& key, int* ret = nullptr) const;
    // Every item with the key in file order (outputs emptied first); -1 when none.
    int GetValues(const std::string& section, const std::string& key, std::vector<std::string>* values) const;
    int GetValuesAndComments(const std::string& section, const std::string& key, std::vector<std::string>* values,
                             std::vector<std::string>* comments) const;
    bool HasSection(const std::string& section) const;
    bool HasKey(const std::string& section, const std::string& key) const;
    // The section itself, or null. The pointer is not protected against changes made
    // meanwhile on other threads.
    IniSection* GetSection(const std::string& section);
    int GetSectionComment(const std::string& section, std::string* comment) const;
    int SetSectionComment(const std::string& section, const std::string& comment);

    // Sets the first item with the key (creating the section when needed); a non-empty
    // comment is stored behind the first comment prefix. Saving happens only when an
    // existing item's value or comment changes; a new key stays in memory until the
    // next save. Always 0.
    int SetValue(const std::string& section, const std::string& key, const std::string& value,
                 const std::string& comment = "");
    // In memory only; nothing when missing.
    void DeleteKey(const std::string& section, const std::string& key);
    void DeleteSection(const std::string& section);

    void SetCommentFlags(const std::vector<std::string>& flags);
    // Forgets the loaded path and every section.
    void Release();
    // Debug listing on standard output.
    void Print() const;

    // Service addresses of section "Url" (see IniFileUrls.cpp for the table).
    void BuildTicketUrl();
    void BuildClientUrls();
    void BuildBusinessUrls();
    void BuildUrlTable(); // the three above, in that order
    void SetBusinessDomain(const std::string& domain);
    std::string BusinessDomain() const;

    // Reader helpers.
    static std::string Trim(const std::string& text);
    static std::string TrimRightChar(const std::string& text, char c);
    static std::string TrimLeftChar(const std::string& text, char c);
    bool IsCommentLine(const std::string& line) const;
    static void SplitKeyValue(const std::string& line, std::string* key, std::string* value);

private:
    int ParseFile(const std::string& path, std::map<std::string, std::unique_ptr<IniSection>>& sections) const;
    void ApplyUserCopy();
    int SaveLocked(const std::string& path);
    int SetValueLocked(const std::string& section, const std::string& key, const std::string& value,
                       const std::string& comment);
    const IniItem* FindItem(const std::string& section, const std::string& key) const;
    void ReleaseLocked();

    mutable std::recursive_mutex m_mutex;
    std::string m_businessDomain;
    std::map<std::string, std::unique_ptr<IniSection>> sections;
    std::string m_fileName;
    std::string m_userFileName;
    std::vector<std::string> flags_;
    int m_saveCount = 0;
};
