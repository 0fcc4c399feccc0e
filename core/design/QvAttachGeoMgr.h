// SPDX-License-Identifier: GPL-3.0-or-later
// The attachment library: the process-wide list of geometry templates read from the
// template folder (one ATT file per template), the factories that turn a template
// file's class name or kind code into an empty geometry, and the clone that gives each
// attachment of an owned kind its own copy. No lock: the library is filled, read and
// emptied in phases that never overlap.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

class QvAttachGeo;
class QvModel;

class QvAttachGeoMgr
{
public:
    using Library = std::vector<QvAttachGeo*>;

    // The library: created empty on first use; its templates are deleted at exit.
    static Library& Instance();
    // Empties the library and releases its storage: the reset for tests.
    static void Reset();

    // Appends every template of the folder's regular files, in listing order, hidden.
    // Files without a valid template are skipped; a folder that cannot be opened
    // leaves the library unchanged. Installs the design file link when none is.
    static void ReadFolder(Library& library, const char* folder);

    // New empty geometries (owned by the caller), null for any other name or code.
    static QvAttachGeo* CreateByClassName(const std::string& className);
    static QvAttachGeo* CreateByKindCode(int kindCode);
    // A copy of the template as the class its kind code names; null for other codes.
    static QvAttachGeo* CloneByKindCode(const QvAttachGeo* geoTemplate);

    // The first template with exactly that name: itself for shared kinds (it stays the
    // library's), a new copy owned by the caller for owned kinds; null when none.
    static QvAttachGeo* FindByName(Library& library, const std::string& name);

    // Deletes every template and empties the list (the capacity stays).
    static void Clear(Library& library);

    // One template file read with a reader of this library's own: the same answers as
    // the file layer's ReadATT (null on any failure).
    static QvAttachGeo* ReadTemplate(const std::string& path, QvModel* model = nullptr);
    // The template body after the header line (class name or kind code, then the
    // geometry form); null for a version without a template form or any failure.
    static QvAttachGeo* ReadTemplateBody(std::istream& is, int version, QvModel* model);
    // Writes a template file: header line, class name (16386) or kind code (16387 to
    // 16389), geometry form. The file replaces any old one only when all was written;
    // false for a version without a template form or a failed write.
    [[nodiscard]] static bool WriteTemplate(const std::string& path, const QvAttachGeo& geo, int version);

    // The template at index looked up again by its name (so owned kinds give a copy);
    // null outside the list.
    static QvAttachGeo* GetAt(Library& library, int index);
    // Index of the template pointer, -1 when absent.
    static int IndexOf(const Library& library, const QvAttachGeo* geo);
    // Deletes every template named "Invalid", last to first.
    static void RemoveInvalid(Library& library);
    // Marks every template's mesh for the drawers to rebuild.
    static void SetAllModified(Library& library);
};
