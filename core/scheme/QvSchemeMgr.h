// SPDX-License-Identifier: GPL-3.0-or-later
// The treatment schemes of one case: the current scheme everything draws and
// measures, a second one for side-by-side comparison, and named groups addressing
// the schemes by (row, col) = (group index, position in the group).
//
// The case model owns its manager (QvModel::SetSchemes) and reaches it through
// QvModelSchemes; code above the model gets it back with QvGetSchemeMgr.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "core/model/QvModelLinks.h"

class QvModel;
class QvScheme;

struct QvSchemeGroup
{
    std::string name;         // display name, GB18030
    std::vector<int> indices; // into the manager's scheme list
};

class QvSchemeMgr : public QvModelSchemes
{
public:
    // No schemes, no current or compared scheme, the two default groups.
    QvSchemeMgr();
    QvSchemeMgr(const QvSchemeMgr&) = delete;
    QvSchemeMgr& operator=(const QvSchemeMgr&) = delete;
    ~QvSchemeMgr() override;

    // The names of the default groups, row 0 and row 1.
    static const std::string& DoctorGroupName();
    static const std::string& ExpertGroupName();

    // ---- QvModelSchemes --------------------------------------------------------

    // Deletes every scheme; back to the two default groups, no current or compared
    // scheme.
    void Clear() override;
    bool IsExtractedInCurrentScheme(const QvTooth* tooth) const override;
    void AppendCurrentVirtualTeeth(std::vector<QvEntity*>& out) const override;

    // ---- Binding and selection ---------------------------------------------------

    // The case model new schemes are bound to (not owned).
    void SetModel(QvModel* model) { m_pModel = model; }
    QvModel* GetModel() const { return m_pModel; }

    // Null while the index names no scheme.
    QvScheme* GetCurScheme() const { return SchemeAtIndex(m_nCurIndex); }
    int GetCurIndex() const { return m_nCurIndex; }
    // Sets the index directly; -1 means none.
    void SetCurIndex(int index) { m_nCurIndex = index; }
    void ClearCurIndex() { m_nCurIndex = -1; }
    // The scheme at (row, col) becomes current; nothing for a position that does not exist.
    void SetCurScheme(int row, int col);
    // Whether (row, col) names the current scheme.
    bool IsCurScheme(int row, int col) const;

    // The compared scheme; -1 ends the comparison.
    void SetCompareIndex(int index) { m_nCompareIndex = index; }
    void ClearCompareIndex() { m_nCompareIndex = -1; }
    int GetCompareIndex() const { return m_nCompareIndex; }
    QvScheme* GetCompareScheme() const { return SchemeAtIndex(m_nCompareIndex); }

    // ---- Schemes and groups ------------------------------------------------------

    const std::vector<QvScheme*>& GetSchemes() const { return m_schemes; }
    const std::vector<QvSchemeGroup>& GetGroups() const { return m_groups; }
    // Null for a position that does not exist.
    QvScheme* GetScheme(int row, int col) const;

    // Takes the scheme and files it at the end of group g; g equal to the group count
    // first appends one unnamed group. Answers this manager; null, the scheme not
    // taken (the caller keeps it), for a null scheme or a g below 0 or beyond the
    // group count.
    QvSchemeMgr* AddScheme(int group, QvScheme* scheme, bool makeCurrent);
    // A new scheme of that name bound to the manager's model, with its initial steps
    // when initSteps, added as AddScheme does. Null when AddScheme refuses the group.
    QvScheme* CreateScheme(int group, const std::string& name, bool initSteps, bool makeCurrent);
    // Removes the first position (groups in order, positions in order) naming the scheme.
    void RemoveScheme(QvScheme* scheme);
    // Deletes the scheme at (row, col). The current index follows its scheme (the
    // one before becomes current when the current one goes); the compare index
    // follows its scheme and is cleared when its scheme goes. Indices above the
    // removed one move down in every group. Nothing for a position that does not exist.
    void RemoveSchemeAt(int row, int col);

    void RenameGroup(int row, const std::string& name);
    void RenameScheme(int row, int col, const std::string& name);
    // Removes every scheme of the row, last position first, then the group itself.
    void RemoveGroup(int row);
    // A copy (virtual teeth cloned) of the scheme at (row, col) named name, added
    // current to group; null for a position that does not exist or a refused group.
    QvScheme* CopyScheme(int row, int col, const std::string& name, int group);

    // ---- Case document -----------------------------------------------------------

    // int32 1 and the current scheme's section; int32 0 when there is no current scheme.
    void Write(std::ostream& os, int version) const;
    // int32 count, then that many sections, each a new scheme filed in group 0 and
    // bound to model; the last becomes current. False on a negative count, a count
    // larger than the bytes left, or a section that fails (that scheme is deleted;
    // those read before stay, with their group entries). Meant for an empty manager.
    [[nodiscard]] bool Read(std::istream& is, int version, QvModel* model);

    // The older multi-scheme forms, by 0x200-family version: up to 513 the first form
    // (int32 current index, int32 count, stand-alone scheme bodies), 514 to 517 the
    // second (then the group records, their indices added to group 0); above 517
    // false. Afterwards no scheme is current. Indices naming no scheme and group
    // names longer than 200 bytes fail the read.
    [[nodiscard]] bool ReadOldForm(std::istream& is, int version, QvModel* model);
    // Group records as the second older form stores them (int32 group count; per
    // group name, int32 index count, int32 indices), filling the existing groups in
    // order: each takes the name and its index list is replaced. Records beyond the
    // existing groups become new groups. False, the groups unchanged, when a record
    // is damaged or names no scheme.
    [[nodiscard]] bool ReadGroups(std::istream& is, int version);

private:
    QvScheme* SchemeAtIndex(int index) const;
    // The scheme index at (row, col); -1 when the position does not exist.
    int IndexAt(int row, int col) const;
    void ResetGroups();
    // Reads count stand-alone bodies into new schemes filed in group 0.
    [[nodiscard]] bool ReadOldSchemes(std::istream& is, int version, QvModel* model);

    std::vector<QvScheme*> m_schemes;
    int m_nCurIndex = -1;
    int m_nCompareIndex = -1;
    QvModel* m_pModel = nullptr;
    std::vector<QvSchemeGroup> m_groups;
};

// The scheme manager the model holds; null when it holds none (or another kind).
QvSchemeMgr* QvGetSchemeMgr(const QvModel& model);
// The model's manager, a new one bound to the model installed first when it has none.
QvSchemeMgr& QvEnsureSchemeMgr(QvModel& model);
