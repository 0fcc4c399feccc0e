// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/design/QvAttachGeoMgr.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <locale>
#include <memory>
#include <sstream>

#include "core/design/QvAttachGeo.h"
#include "core/design/QvAttachGeoCutInstruction.h"
#include "core/design/QvAttachGeoPressureSpot.h"
#include "core/design/QvAttachGeoPressureZone.h"
#include "core/design/QvAttachGeoStd.h"
#include "core/design/QvAttachGeoStdPower.h"
#include "core/design/QvDesignFileLinks.h"
#include "core/geometry/QvStreamIO.h"
#include "core/model/QvFileVersion.h"
#include "core/model/QvReadWriteFile.h"
#include "core/model/QvReplaceFile.h"

namespace {

// Owns the templates so that they are deleted at exit.
struct LibraryHolder
{
    QvAttachGeoMgr::Library templates;
    ~LibraryHolder() { QvAttachGeoMgr::Clear(templates); }
};

template <typename T>
QvAttachGeo* CopyAs(const QvAttachGeo* geo)
{
    const T* typed = dynamic_cast<const T*>(geo);
    return typed ? new T(*typed) : nullptr;
}

bool IsRegularFile(const std::string& path, const dirent* entry)
{
    if (entry->d_type == DT_REG)
        return true;
    if (entry->d_type != DT_UNKNOWN)
        return false;
    // Some file systems do not report types in the listing.
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

} // namespace

QvAttachGeoMgr::Library& QvAttachGeoMgr::Instance()
{
    static LibraryHolder holder;
    return holder.templates;
}

void QvAttachGeoMgr::Reset()
{
    Library& library = Instance();
    Clear(library);
    library.shrink_to_fit();
}

void QvAttachGeoMgr::ReadFolder(Library& library, const char* folder)
{
    if (!folder)
        return;
    DIR* dir = ::opendir(folder);
    if (!dir)
        return;
    QvEnsureDesignFileLink();
    QvReadWriteFile reader(nullptr, 0);
    while (const dirent* entry = ::readdir(dir))
    {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
            continue;
        const std::string path = std::string(folder) + "/" + entry->d_name;
        if (!IsRegularFile(path, entry))
            continue;
        if (QvAttachGeo* geo = reader.ReadATT(path))
        {
            geo->SetVisible(false);
            library.push_back(geo);
        }
    }
    ::closedir(dir);
}

QvAttachGeo* QvAttachGeoMgr::CreateByClassName(const std::string& className)
{
    if (className == "QvAttachGeoStd")
        return new QvAttachGeoStd;
    if (className == "QvAttachGeoStdCZ")
        return new QvAttachGeoStdCZ;
    if (className == "QvAttachGeoStdNZ")
        return new QvAttachGeoStdNZ;
    if (className == "QvAttachGeoStdPD")
        return new QvAttachGeoStdPD;
    if (className == "QvAttachGeoStdSD")
        return new QvAttachGeoStdSD;
    if (className == "QvAttachGeoStdSJ")
        return new QvAttachGeoStdSJ;
    if (className == "QvAttachGeoStdSP")
        return new QvAttachGeoStdSP;
    return nullptr;
}

QvAttachGeo* QvAttachGeoMgr::CreateByKindCode(int kindCode)
{
    switch (kindCode)
    {
    case kQvAttachKindStd: return new QvAttachGeoStd;
    case kQvAttachKindPressureZone: return new QvAttachGeoPressureZone;
    case kQvAttachKindPressureSpot: return new QvAttachGeoPressureSpot;
    case kQvAttachKindLingualButton: return new QvAttachGeoLingualButton;
    case kQvAttachKindTowingHook: return new QvAttachGeoTowingHook;
    case kQvAttachKindCutInstruction: return new QvAttachGeoCutInstruction;
    case kQvAttachKindLowerDev: return new QvAttachGeoLowerDev;
    case kQvAttachKindPower: return new QvAttachGeoStdPower;
    default: return nullptr;
    }
}

QvAttachGeo* QvAttachGeoMgr::CloneByKindCode(const QvAttachGeo* geoTemplate)
{
    if (!geoTemplate)
        return nullptr;
    switch (geoTemplate->GetKindCode())
    {
    case kQvAttachKindStd: return CopyAs<QvAttachGeoStd>(geoTemplate);
    case kQvAttachKindPressureZone: return CopyAs<QvAttachGeoPressureZone>(geoTemplate);
    case kQvAttachKindPressureSpot: return CopyAs<QvAttachGeoPressureSpot>(geoTemplate);
    case kQvAttachKindLingualButton: return CopyAs<QvAttachGeoLingualButton>(geoTemplate);
    case kQvAttachKindTowingHook: return CopyAs<QvAttachGeoTowingHook>(geoTemplate);
    case kQvAttachKindCutInstruction: return CopyAs<QvAttachGeoCutInstruction>(geoTemplate);
    case kQvAttachKindLowerDev: return CopyAs<QvAttachGeoLowerDev>(geoTemplate);
    case kQvAttachKindPower: return CopyAs<QvAttachGeoStdPower>(geoTemplate);
    default: return nullptr;
    }
}

QvAttachGeo* QvAttachGeoMgr::FindByName(Library& library, const std::string& name)
{
    for (QvAttachGeo* geo : library)
    {
        if (!geo || geo->m_name != name)
            continue;
        return geo->IsOwnedByAttachment() ? CloneByKindCode(geo) : geo;
    }
    return nullptr;
}

void QvAttachGeoMgr::Clear(Library& library)
{
    for (QvAttachGeo* geo : library)
        delete geo;
    library.clear();
}

QvAttachGeo* QvAttachGeoMgr::ReadTemplateBody(std::istream& is, int version, QvModel* model)
{
    std::unique_ptr<QvAttachGeo> geo;
    if (version == kQvAttachGeoVersion2)
    {
        std::string className;
        if (!qvattach::ReadName(is, className))
            return nullptr;
        geo.reset(CreateByClassName(className));
    }
    else if (version >= kQvAttachGeoVersion3 && version <= kQvAttachGeoVersion5)
    {
        std::int32_t kind = 0;
        if (!qvio::ReadI32(is, kind))
            return nullptr;
        geo.reset(CreateByKindCode(kind));
    }
    if (!geo || !geo->Read(is, version, model))
        return nullptr;
    return geo.release();
}

QvAttachGeo* QvAttachGeoMgr::ReadTemplate(const std::string& path, QvModel* model)
{
    std::ifstream file(path, std::ios::in | std::ios::binary);
    if (!file.is_open())
        return nullptr;
    file.imbue(std::locale::classic());
    std::string line;
    if (!QvReadHeaderLine(file, line))
        return nullptr;
    const int version = QvParseHeader(line, kQvFileATT);
    if (version == 0)
        return nullptr;
    return ReadTemplateBody(file, version, model);
}

bool QvAttachGeoMgr::WriteTemplate(const std::string& path, const QvAttachGeo& geo, int version)
{
    if (version < kQvAttachGeoVersion2 || version > kQvAttachGeoVersion5)
        return false;
    std::ostringstream os(std::ios::out | std::ios::binary);
    os.imbue(std::locale::classic());
    os << QvMakeHeader(kQvFileATT, version) << '\n';
    if (version == kQvAttachGeoVersion2)
        qvattach::WriteName(os, geo.GetClassName());
    else
        qvio::WriteI32(os, geo.GetKindCode());
    geo.Write(os, version);
    if (!os)
        return false;
    const std::string bytes = os.str();
    QvReplaceFile file;
    if (!file.Open(path) || !file.Write(bytes.data(), bytes.size()))
        return false;
    return file.Commit();
}

QvAttachGeo* QvAttachGeoMgr::GetAt(Library& library, int index)
{
    if (index < 0 || index >= static_cast<int>(library.size()))
        return nullptr;
    const QvAttachGeo* geo = library[static_cast<std::size_t>(index)];
    return geo ? FindByName(library, geo->m_name) : nullptr;
}

int QvAttachGeoMgr::IndexOf(const Library& library, const QvAttachGeo* geo)
{
    for (std::size_t i = 0; i < library.size(); ++i)
        if (library[i] == geo)
            return static_cast<int>(i);
    return -1;
}

void QvAttachGeoMgr::RemoveInvalid(Library& library)
{
    for (std::size_t i = library.size(); i-- > 0;)
    {
        if (library[i] && library[i]->m_name == "Invalid")
        {
            delete library[i];
            library.erase(library.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
}

void QvAttachGeoMgr::SetAllModified(Library& library)
{
    for (QvAttachGeo* geo : library)
        if (geo)
            geo->m_bModified = true;
}
