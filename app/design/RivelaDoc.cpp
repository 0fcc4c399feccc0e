// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/design/RivelaDoc.h"

#include "app/platform/Folders.h"
#include "app/service/RVCaseInfo.h"
#include "app/service/RVRequestManager.h"
#include "app/shell/QvUtilityObj.h"
#include "core/base/QvObject.h"
#include "core/base/QvText.h"
#include "core/base/QvTypeCodes.h"
#include "core/collision/QvCollisionDetectMgr.h"
#include "core/design/QvAttachGeoMgr.h"
#include "core/design/QvBracketGeo.h"
#include "core/design/QvBracketSeriesMgr.h"
#include "core/design/QvDesignFileLinks.h"
#include "core/design/QvOBBTreeMgr.h"
#include "core/model/QvFileVersion.h"
#include "core/model/QvJaw.h"
#include "core/model/QvModel.h"
#include "core/model/QvPatientInfo.h"
#include "core/model/QvReadWriteFile.h"
#include "core/model/QvTooth.h"
#include "core/model/QvVirtualRootCommand.h"
#include "core/model/QvZipArchive.h"
#include "core/render/QvViewManager.h"
#include "core/scheme/QvScheme.h"
#include "core/scheme/QvSchemeAttachLinkImpl.h"
#include "core/scheme/QvSchemeFileLinkImpl.h"
#include "core/scheme/QvSchemeGums.h"
#include "core/scheme/QvSchemeLinks.h"
#include "core/scheme/QvSchemeMgr.h"
#include "core/scheme/QvSchemeTargetMgr.h"

#include <QFile>
#include <QFileInfo>

#include <cmath>
#include <limits>
#include <mutex>
#include <new>
#include <stdexcept>
#include <vector>

namespace {

std::mutex g_hookMutex;
// Documents whose templates are in the process-wide libraries; the libraries are
// emptied when the last of them closes, so that a stale document going away never
// pulls the templates from under the open one.
std::mutex g_libraryMutex;
int g_libraryUsers = 0;
RivelaDoc::StageHook g_stageHook;

void Stage(std::string_view name)
{
    RivelaDoc::StageHook hook;
    {
        std::lock_guard lock(g_hookMutex);
        hook = g_stageHook;
    }
    if (hook)
        hook(name);
}

// The readers reach scheme, attachment and bracket records through links the
// libraries install; a document may be the first thing of a process to read.
void EnsureCoreLinks()
{
    static std::once_flag once;
    std::call_once(once, [] {
        QvEnsureSchemeFileLink();
        QvEnsureDesignFileLink();
        QvEnsureBracketFileLink();
        if (QvGetSchemeAttachLink() == nullptr)
            QvInstallSchemeAttachLink();
    });
}

std::string LocalPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

// Deletes the file read when the open ends, however it ends.
class RemoveOnExit {
public:
    explicit RemoveOnExit(std::string& path) : m_path(path) {}
    ~RemoveOnExit()
    {
        if (!m_path.empty())
            QFile::remove(QFile::decodeName(m_path.c_str()));
    }
    RemoveOnExit(const RemoveOnExit&) = delete;
    RemoveOnExit& operator=(const RemoveOnExit&) = delete;

private:
    std::string& m_path;
};

bool IsDeleted(const QvEntity* entity) { return (entity->m_state & kQvStateDeleted) != 0; }

} // namespace

RivelaDoc::RivelaDoc() { EnsureCoreLinks(); }

RivelaDoc::~RivelaDoc() { closeDocument(); }

void RivelaDoc::SetStageHookForTests(StageHook hook)
{
    std::lock_guard lock(g_hookMutex);
    g_stageHook = std::move(hook);
}

QString RivelaDoc::ExtractionFolder()
{
    const QString temp = QvUtilityObj::getTempFolder();
    if (temp.isNull())
        return {};
    return temp + QStringLiteral("/org.rivela.Rivela/");
}

void RivelaDoc::initModel() { m_model = std::make_unique<QvModel>(); }

int RivelaDoc::openDocument(const QString& path, quint64 modelType)
{
    std::string readPath = LocalPath(path);
    int result = 1;
    try {
        RemoveOnExit remove(readPath);
        result = OpenAndPrepare(path, modelType, readPath);
    } catch (const std::bad_alloc&) {
        result = kRivelaDocOutOfMemory;
    } catch (const std::length_error&) {
        result = kRivelaDocOutOfMemory;
    }
    if (result != 0)
        closeDocument();
    return result;
}

int RivelaDoc::OpenAndPrepare(const QString& path, quint64 modelType, std::string& readPath)
{
    if (!m_holdsLibraries) {
        std::lock_guard lock(g_libraryMutex);
        ++g_libraryUsers;
        m_holdsLibraries = true;
    }
    readAttachments();
    readBKTByCode();
    initModel();
    QvReadWriteFile file(m_model.get(), 0);
    int result = 1;
    if (modelType == kRVModelStepAnimation) {
        Stage("read");
        result = file.ReadOS(readPath);
    } else if (modelType == kRVModelDigital) {
        const QString folder = platform::EnsureFolder(ExtractionFolder());
        if (!folder.isNull()) {
            QvZipArchive zip;
            std::vector<std::string> names;
            const std::string target = LocalPath(folder.endsWith(u'/') ? folder : folder + u'/');
            if (zip.Unzip(LocalPath(path), target, &names) && !names.empty())
                readPath = target + names.front();
        }
        Stage("read");
        result = file.ReadDM(readPath);
    }
    if (result == 0)
        Prepare(modelType);
    return result;
}

void RivelaDoc::Prepare(quint64 modelType)
{
    m_model->SortTeeth();
    ClearDeletedMode();
    Stage("roots");
    createRoot();
    Stage("trees");
    initOBBTree();
    Stage("switch");
    switchScheme(kRivelaDocLastScheme);
    if (modelType == kRVModelStepAnimation)
        if (QvSchemeMgr* schemes = QvGetSchemeMgr(*m_model))
            for (QvScheme* scheme : schemes->GetSchemes()) {
                const std::vector<QvToothBase*>& teeth = scheme->GetVirtualTeeth();
                for (auto it = teeth.rbegin(); it != teeth.rend(); ++it)
                    (*it)->SetVisible(true);
            }
    Stage("gums");
    initGumMgrWithScheme(nullptr, modelType);
    initFactor();
    for (QvEntity* jaw : m_model->m_jaws)
        jaw->SetVisible(false);
}

int RivelaDoc::openNewSchemeWithPath(const QString& path)
{
    if (!m_model)
        return 1;
    QvSchemeMgr& schemes = QvEnsureSchemeMgr(*m_model);
    std::vector<QvScheme*> read;
    int result = 1;
    try {
        Stage("scheme");
        if (schemes.GetSchemes().size() >= 2)
            schemes.RemoveSchemeAt(0, 1);
        QvPatientInfo scratch;
        QvReadWriteFile file(m_model.get(), 0);
        result = file.ReadRVS(LocalPath(path), read, &scratch);

        const int type = caseInfo ? caseInfo->schemeType.toInt() : 0;
        const QString name = caseInfo ? caseInfo->schemeName : QString();
        for (std::size_t i = 0; i < read.size(); ++i) {
            QvScheme* scheme = read[i];
            read[i] = nullptr;
            if (type != 6 && i != 0) {
                delete scheme;
                continue;
            }
            if (i == 0 && !(type == 6 && scheme->GetBracketList() != nullptr))
                scheme->SetName(Gb18030FromUtf8(name.toStdString()));
            scheme->m_nSchemeType = type;
            scheme->SetModel(m_model.get());
            initSchemeTarget(scheme);
            if (schemes.AddScheme(0, scheme, false) == nullptr) {
                delete scheme;
                continue;
            }
            initGumMgrWithScheme(scheme, kRVModelSchemeBackEnd);
        }
    } catch (const std::bad_alloc&) {
        result = kRivelaDocOutOfMemory;
    } catch (const std::length_error&) {
        result = kRivelaDocOutOfMemory;
    }
    // Schemes not yet handed to the manager when memory ran out.
    for (QvScheme* scheme : read)
        delete scheme;
    switchScheme(kRivelaDocLastScheme);
    return result;
}

int RivelaDoc::openDMFile(const QString& path)
{
    if (path.isEmpty() || !m_model)
        return 1;
    QvReadWriteFile file(m_model.get(), 0);
    return file.ReadDM(LocalPath(path));
}

bool RivelaDoc::exportDocument(const QString& path)
{
    if (path.isEmpty() || !m_model)
        return false;
    const QString extension = QFileInfo(path).suffix().toUpper();
    QvReadWriteFile file(m_model.get(), 0);
    if (extension == QLatin1String("OS"))
        return file.WriteOS(LocalPath(path), QvFileVersionMgr::Instance().GetLatestVersion(kQvFileOS));
    if (extension == QLatin1String("RVS")) {
        QvScheme* scheme = currentScheme();
        return scheme != nullptr &&
               file.WriteRVSScheme(LocalPath(path), QvFileVersionMgr::Instance().GetLatestVersion(kQvFileRVS), scheme);
    }
    return false;
}

void RivelaDoc::closeDocument()
{
    if (m_model) {
        // The tree cache is keyed by mesh address: a later mesh at the same address
        // must not find this model's tree.
        std::vector<QvMesh*> meshes;
        for (QvEntity* tooth : m_model->m_teeth)
            meshes.push_back(static_cast<QvMesh*>(tooth));
        QvOBBTreeMgr::Instance()->RemoveMeshes(meshes);
        m_model.reset();
    }
    std::lock_guard lock(g_libraryMutex);
    if (m_holdsLibraries) {
        m_holdsLibraries = false;
        --g_libraryUsers;
    }
    if (g_libraryUsers == 0) {
        QvAttachGeoMgr::Clear(QvAttachGeoMgr::Instance());
        QvBracketSeriesMgr::Instance()->Clear();
    }
}

QvScheme* RivelaDoc::currentScheme() const
{
    if (!m_model)
        return nullptr;
    QvSchemeMgr* schemes = QvGetSchemeMgr(*m_model);
    return schemes ? schemes->GetCurScheme() : nullptr;
}

void RivelaDoc::switchScheme(int index)
{
    if (!m_model)
        return;
    QvSchemeMgr* schemes = QvGetSchemeMgr(*m_model);
    if (!schemes || schemes->GetSchemes().empty() || schemes->GetGroups().empty())
        return;
    const int inGroup = static_cast<int>(schemes->GetGroups().front().indices.size());
    const int position = index == kRivelaDocLastScheme ? inGroup - 1 : index;
    if (schemes->GetScheme(0, position) == nullptr)
        return;
    schemes->SetCurScheme(0, position);
    QvScheme* current = schemes->GetCurScheme();
    if (!current)
        return;
    current->SetModel(m_model.get());
    for (QvEntity* entity : m_model->m_teeth) {
        auto* tooth = static_cast<QvToothBase*>(entity);
        const bool gone = current->GetExtractedTeeth().count(tooth) || current->GetHiddenTeeth().count(tooth);
        tooth->SetVisible(!gone);
    }
    updateVirtualTeeth();
    QvCollisionDetectMgr& collisions = QvGetCollisionDetectMgr(*current);
    collisions.Clear();
    QvViewManager::Instance()->ResetDrawInfos();
    collisions.SetScheme(current);
}

void RivelaDoc::updateVirtualTeeth()
{
    if (!m_model)
        return;
    const std::vector<QvEntity*> listed = m_model->m_virtualTeeth;
    for (auto it = listed.rbegin(); it != listed.rend(); ++it)
        m_model->RemoveEntity((*it)->GetID(), false);
    if (QvScheme* current = currentScheme())
        for (QvToothBase* tooth : current->GetVirtualTeeth())
            m_model->AddEntity(tooth);
}

void RivelaDoc::initSchemeTarget(QvScheme* scheme)
{
    if (scheme)
        (void)scheme->GetTargetMgr().ApplyTarget(scheme->GetStepCount() < 3 ? 3 : 4);
}

void RivelaDoc::initGumMgrWithScheme(QvScheme* scheme, quint64 modelType)
{
    if (!m_model)
        return;
    bool includeStep0 = false;
    if (!scheme) {
        scheme = currentScheme();
        includeStep0 = modelType != kRVModelDigital;
    }
    // Gums hang from both jaws' frames; a model lacking one opens without them.
    if (!scheme || !m_model->GetJaw(true) || !m_model->GetJaw(false))
        return;
    (void)PrepareSchemeGums(*scheme, includeStep0);
}

void RivelaDoc::ClearDeletedMode()
{
    if (!m_model)
        return;
    QvModel& model = *m_model;
    for (std::vector<QvEntity*>* list : {&model.m_jaws, &model.m_toothLists, &model.m_gums, &model.m_teeth}) {
        // Removing a jaw takes its tooth lists and gums along: walk by index, re-checked.
        for (std::size_t i = list->size(); i-- > 0;) {
            if (i >= list->size())
                continue;
            QvEntity* entity = (*list)[i];
            if (IsDeleted(entity))
                model.RemoveEntity(entity->GetID(), true);
            else
                entity->SetVisible(list != &model.m_jaws);
        }
    }
}

void RivelaDoc::createRoot()
{
    if (!m_model)
        return;
    std::vector<QvToothBase*> crowns;
    for (QvEntity* entity : m_model->m_teeth) {
        auto* tooth = dynamic_cast<QvToothBase*>(entity);
        if (tooth && !IsDeleted(tooth) && !tooth->HasRootFaces())
            crowns.push_back(tooth);
    }
    QvGrowRingRoots(crowns, 2.0, 0.5);
}

void RivelaDoc::initOBBTree()
{
    if (!m_model)
        return;
    std::vector<QvMesh*> meshes;
    for (QvEntity* tooth : m_model->m_teeth)
        meshes.push_back(static_cast<QvMesh*>(tooth));
    QvOBBTreeMgr::Instance()->AddMeshes(meshes);
}

void RivelaDoc::initFactor()
{
    if (!m_model)
        return;
    std::vector<QvEntity*> entities;
    m_model->GetAllEntities(entities);
    QvBBox box;
    bool first = true;
    for (QvEntity* entity : entities) {
        if (!entity || !(entity->m_state & kQvStateShown) || IsDeleted(entity))
            continue;
        // Roots grown and gums built since the read changed the meshes.
        entity->UpdateBBox();
        if (first)
            box = entity->m_bbox;
        else
            box.Merge(entity->m_bbox);
        first = false;
    }
    const double diagonal = first ? 0.0 : box.GetDiagonal();
    if (!(diagonal >= 1e-7)) {
        // Nothing to fit: no zoom factor is acceptable.
        minScalaFactor = std::numeric_limits<double>::infinity();
        maxScalaFactor = std::numeric_limits<double>::infinity();
        return;
    }
    const double x = 3.0 / diagonal;
    minScalaFactor = 0.3 * x;
    maxScalaFactor = 3.0 * x;
}

void RivelaDoc::readAttachments()
{
    const QString folder = QvUtilityObj::getAttachmentPath();
    if (!folder.isNull())
        QvAttachGeoMgr::ReadFolder(QvAttachGeoMgr::Instance(), LocalPath(folder).c_str());
}

void RivelaDoc::readBKTByCode()
{
    if (!caseInfo)
        return;
    bool canModify = false;
    const QString code = RVRequestManager::getBracketInfoWithCaseId(caseInfo->caseId, &canModify);
    if (code.isEmpty())
        return;
    bracketCode = code;
    canModifyBracket = canModify;
    QvBracketSeriesMgr* series = QvBracketSeriesMgr::Instance();
    series->m_baseFolder = LocalPath(QvUtilityObj::getBKTPath());
    const QString temp = QvUtilityObj::getTempFolder();
    series->m_tempFolder = temp.isNull() ? std::string() : LocalPath(temp + u'/');
    (void)series->ReadSeries(code.toStdString());
}

bool RivelaDoc::canScaleModelWithFactor(double factor) const
{
    if (std::isinf(minScalaFactor))
        return false;
    return minScalaFactor <= factor && factor <= maxScalaFactor;
}

bool RivelaDoc::isOS() const { return caseInfo && caseInfo->modelType == kRVModelStepAnimation; }

int RivelaDoc::totalTreatStep() const
{
    QvScheme* scheme = currentScheme();
    return scheme ? scheme->GetStepCount() : 0;
}
