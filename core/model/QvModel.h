// SPDX-License-Identifier: GPL-3.0-or-later
// One case in memory: the entities of both jaws filed by type code, an id map over
// them, the model box, and the case records (patient information, schemes,
// reference planes, image measures and the measurement-file records).
//
// Ownership: the model owns what stands in its lists except virtual teeth (their
// schemes own them), brackets (their lists own them) and anonymous entities (their
// auxiliary drawing objects own them). An entity whose type code has no list is
// registered but never owned.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <map>
#include <memory>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "core/geometry/QvBBox.h"
#include "core/model/QvModelLinks.h"

class QvAirway;
class QvEdge;
class QvMatrix;
class QvMesh;
class QvToothRef;
class QvVector;
class QvEntity;
class QvFace;
class QvGum;
class QvMesh;
class QvHingeAxis;
class QvImageMeasure;
class QvJaw;
class QvJawBone;
class QvJawRef;
class QvModelPointLists;
class QvModelPointListsEx;
class QvModelPointSet;
class QvModelVectorPair;
class QvPatientInfo;
class QvTooth;
class QvToothList;
class QvVertex;

class QvModel
{
public:
    // Empty lists and maps, box at the origin, no hinge axis or airway, an empty
    // reference-plane set. The other case records are installed by their code.
    QvModel();
    QvModel(const QvModel&) = delete;
    QvModel& operator=(const QvModel&) = delete;
    // Clear(false), then the records.
    ~QvModel();

    // ---- Clearing ---------------------------------------------------------------

    // Deletes the owned entities and empties every list but m_anonymous, clears the
    // schemes (first, so that they never touch a deleted entity), the reference
    // planes and the patient information; unless keepImageData, also the image
    // measures and the point set. The box goes back to the origin, the map empties.
    void Clear(bool keepImageData);
    // As Clear(false) but the jaws stay (listed and registered again) and the
    // reference planes are kept.
    void ClearExceptJaws();
    // Deletes every image measure and empties the process-wide image references.
    void ClearImageMeasures();
    void ClearPatientInfo();

    // ---- Adding and removing ----------------------------------------------------

    // Updates the entity's box and merges it into the model box; files the entity by
    // type code; registers it under its id unless the id is taken. A second hinge
    // axis or airway replaces (and deletes) the present one. Null is ignored.
    void AddEntity(QvEntity* entity);
    // Unregisters the entity registered under id (from under every id AddEntity
    // registered it under, and its present id) and takes it out of its list (every
    // entry of that very object); with destroy, deletes it. A jaw takes its tooth
    // lists and gums with it (destroyed) and leaves no remaining part bound to it; a
    // tooth list takes the teeth of its jaw with it. An entity whose code has no list
    // is only unregistered, never deleted. Unknown ids change nothing.
    void RemoveEntity(int id, bool destroy);
    // Sets the deleted bit: a jaw marks its tooth lists and gums first, a tooth list
    // the teeth of its jaw; teeth, gums and embedded teeth themselves; others nothing.
    void MarkDeleted(int id, bool deleted);
    void SetStateBitsOfAll(std::uint32_t mask, bool on);

    // ---- Lookups ----------------------------------------------------------------

    QvEntity* FindEntity(int id) const;
    // Appends teeth, jaws, gums, jaw bones, meshes, attachments, the extra attachment
    // list, brackets, anonymous entities, embedded teeth, virtual teeth, then the
    // hinge axis and the airway. Tooth lists are not included.
    void GetAllEntities(std::vector<QvEntity*>& out) const;
    // Appends teeth, jaws, embedded teeth, gums, meshes, the real roots, jaw bones,
    // the airway and the current scheme's virtual teeth.
    void GetAllMeshes(std::vector<QvEntity*>& out) const;
    QvTooth* FindTooth(int fdi) const;
    QvTooth* FindToothInState(int fdi, int state) const;
    // The tooth standing at an arch position (permanent FDI number): teeth in state 4
    // or 5 or extracted in the current scheme are skipped; a deciduous tooth of the
    // position wins over a permanent one; the last match of each kind counts.
    QvTooth* FindToothAtPosition(int position) const;
    // The nearest tooth of the model along the fixed arch table of the tooth's jaw,
    // walking towards the table's start (forward) or its end.
    QvTooth* FindArchNeighbour(const QvTooth* tooth, bool forward) const;
    QvJaw* GetJaw(bool upper) const;
    QvJawBone* GetJawBone(bool upper) const;
    // Gums and tooth lists without a jaw belong to neither side and are passed over.
    QvGum* GetGum(bool upper) const;
    QvToothList* GetToothList(bool upper) const;
    // The mesh among GetAllEntities whose element array holds this very element.
    QvEntity* FindMeshOfVertex(const QvVertex* vertex) const;
    QvEntity* FindMeshOfEdge(const QvEdge* edge) const;
    QvEntity* FindMeshOfFace(const QvFace* face) const;
    // Appends every tooth of teeth with that FDI number.
    static void CollectTeethByFdi(const std::vector<QvTooth*>& teeth, int fdi, std::vector<QvTooth*>& out);
    // The teeth without, for each deciduous tooth, the first permanent tooth of its position.
    std::vector<QvTooth*> GetTeethPreferringDeciduous() const;
    // A gum mesh cut from the scanned jaw of that side: the scan outside every crown's
    // cut line, its border snapped onto the crown rims, the gaps at contacts closed.
    // New mesh owned by the caller; null without a jaw, a tooth with a cut line, or a
    // jaw border. Nothing in the model changes. (QvModelExtractGum.cpp)
    QvMesh* ExtractGum(bool upper) const;
    // Whether any tooth of the list is not marked deleted.
    static bool HasUndeletedTooth(const std::vector<QvEntity*>& teeth);
    // Whether every tooth of the list not marked deleted has a valid FDI number.
    static bool UndeletedTeethHaveValidFdi(const std::vector<QvEntity*>& teeth);

    // ---- Image measures ---------------------------------------------------------

    // A new measure of the type with its flag set, owned by the model; null while no
    // image-measure operations are installed.
    QvImageMeasure* CreateImageMeasure(int type, bool flag);
    QvImageMeasure* FindImageMeasure(int type, bool flag) const;
    // Appends the measures of that image kind and flag; nothing for kind 0.
    void GetImageMeasures(int imageKind, std::vector<QvImageMeasure*>& out, bool flag) const;
    // Takes the first measure of that type and flag out of the list without deleting
    // it (the caller owns it then); nothing for type 0.
    QvImageMeasure* DetachImageMeasure(int type, bool flag);

    // ---- Ordering, boxes, file versions ----------------------------------------

    // Sorts m_teeth in arch order (FdiArchLess); stable, so equal positions keep
    // their order.
    void SortTeeth();
    // The union of the boxes the entities hold (not recomputed), from the origin.
    void UpdateBBox();
    // Stores or replaces the version code of a file type.
    void SetFileVersion(int fileType, int code) { m_fileVersions[fileType] = code; }

    // ---- Records ------------------------------------------------------------------

    QvHingeAxis* GetHingeAxis() const { return m_pHingeAxis; }
    // The airway (type code 0x20001000), null when none.
    QvAirway* GetAirway() const { return m_pAirway; }
    // The patient information, created with the model.
    QvPatientInfo* GetPatientInfo() const { return m_patientInfo.Get(); }
    QvJawRef* GetJawRef() const { return m_pJawRef; }
    QvModelSchemes* GetSchemes() const { return m_pSchemes.get(); }
    // Installs the scheme manager (clearing and deleting any present one).
    void SetSchemes(std::unique_ptr<QvModelSchemes> schemes);

    // ---- Case bodies (QvCaseDocument.cpp) ----------------------------------------
    // Readers fill this model from the body after a file's header line. They answer
    // false on a short or damaged stream, a count that is negative or larger than the
    // bytes left, or a record that fails; what was added before stays and the caller
    // discards the model. Sections whose records belong to other libraries (schemes,
    // the cephalometric tracing) go through their links; while a link is missing, a
    // body that holds such records fails.

    // Case document 0x402 to 0x413. Entities of the kinds it reads that the model
    // already holds are removed and destroyed first. Schemes are bound to owner, or
    // to this model when owner is null.
    [[nodiscard]] bool ReadOS(std::istream& is, int version, QvModel* owner);
    // The layout ReadOS reads for the version; the newest (0x411 on) is the one the
    // system writes. Versions 0x403 to 0x405 carry no tracing (a 0 flag where the
    // layout has one). Writing the next id advances the entity counter by one.
    void WriteOS(std::ostream& os, int version) const;
    // Where a partial case-document writer stops.
    enum class OSWriteStop
    {
        AfterJawBones,
        AfterHingeAxis,
        AfterAirway,
        Complete,
    };
    void WriteOSPart(std::ostream& os, int version, OSWriteStop stop) const;
    // Dental model 0x801 to 0x806, appended to what the model holds; afterwards the
    // scheme "default" when the scheme library is linked in.
    [[nodiscard]] bool ReadDM(std::istream& is, int version);
    void WriteDM(std::ostream& os, int version) const;
    // int32 count and old-form tooth reference records (each binds itself to its
    // tooth), then the jaw reference set without a flag.
    [[nodiscard]] bool ReadToothRefs(std::istream& is, int version);
    // The count of the teeth and each tooth's reference (an empty one for a tooth
    // without), then the jaw reference set.
    void WriteToothRefs(std::ostream& os, int version) const;
    // The cephalometric tracing of case documents 0x403 to 0x405 (an int32 flag
    // first from 0x404 on): the model's type-1 measure, created when missing.
    [[nodiscard]] bool ReadCephTracing(std::istream& is, int version);
    // int32 flag; when 1, the jaw reference set. A set that fails to read is deleted.
    [[nodiscard]] bool ReadFlaggedJawRef(std::istream& is, int version);
    void WriteFlaggedJawRef(std::ostream& os, int version) const;
    // The 0x100-family body (0x101 to 0x107). The writer writes nothing for 0x101
    // and for other families.
    [[nodiscard]] bool ReadTSD(std::istream& is, int version);
    void WriteTSD(std::ostream& os, int version) const;
    // The same body with embedded teeth after the jaws and jaw bones, hinge axis and
    // airway always present; no version selects it.
    [[nodiscard]] bool ReadTSDWithEmbedded(std::istream& is, int version);
    void WriteTSDWithEmbedded(std::ostream& os, int version) const;

    // ---- Helpers nothing in the system calls (QvModelLegacy.cpp) ----------------------

    // The placement of the jaw bone of that side; a hidden jaw bone is added first
    // when the model has none.
    QvMatrix GetJawBoneMatrix(bool upper);
    // Its placement becomes m, or m x placement with compose (found or added likewise).
    void SetJawBoneMatrix(bool upper, const QvMatrix& m, bool compose);
    // The first tooth whose cut line was built on owner, null when none; count
    // receives the number of teeth.
    static QvTooth* FindToothByCutLineOwner(const std::vector<QvTooth*>& teeth, const QvMesh* owner, int& count);
    // Deletes every tooth's reference data and the reference planes.
    void ClearReferenceData();
    // The direction from the first FACC vertex of ref's tooth to that of its neighbour
    // in the same jaw (the previous reference among teeth, or the next for the first),
    // reversed when both stand in one quadrant and ref's tooth has the smaller number.
    // False for no neighbour, an empty FACC or an index outside its mesh.
    static bool GetNeighbourDirection(const std::vector<QvTooth*>& teeth, const QvToothRef* ref, QvVector& out);
    // Each reference's FACC oriented, then its feature keys assigned along the
    // neighbour direction.
    static void OrientToothRefs(const std::vector<QvTooth*>& teeth);

    // ---- Data -----------------------------------------------------------------------

    std::vector<QvEntity*> m_meshes;        // codes 4 and 0x802
    std::vector<QvEntity*> m_jaws;          // QvJaw
    std::vector<QvEntity*> m_teeth;         // QvTooth, in arch order after SortTeeth
    std::vector<QvEntity*> m_gums;          // QvGum
    std::vector<QvEntity*> m_jawBones;      // QvJawBone
    std::vector<QvEntity*> m_embeddedTeeth; // QvToothEmbeded
    std::vector<QvEntity*> m_virtualTeeth;  // QvVirtualTooth; not owned
    std::vector<QvEntity*> m_toothLists;    // QvToothList
    std::vector<QvEntity*> m_attachments;   // code 0x10000000
    std::vector<QvEntity*> m_attachExtra;   // code 0x10000002; no class reports it
    std::vector<QvEntity*> m_brackets;      // code 0x20000001; not owned
    std::vector<QvEntity*> m_anonymous;     // QvEntityAnonymous; not owned
    std::map<int, QvEntity*> m_entityMap;
    QvBBox m_bbox;
    QvModelRecord<QvPatientInfo> m_patientInfo;
    QvHingeAxis* m_pHingeAxis = nullptr;
    QvAirway* m_pAirway = nullptr;
    std::unique_ptr<QvModelSchemes> m_pSchemes;
    QvModelRecord<QvModelPointSet> m_pointSet;
    QvModelRecord<QvModelVectorPair> m_vectorPair;
    QvModelRecord<QvModelPointLists> m_pointLists;
    QvModelRecord<QvModelPointListsEx> m_pointListsEx;
    std::vector<QvImageMeasure*> m_imageMeasures;
    std::map<int, int> m_fileVersions;
    QvJawRef* m_pJawRef = nullptr;

private:
    // The entities standing in one list, so that AddEntity refuses one already listed
    // without a search. The lists are public: a list whose size no longer matches the
    // index (edited from outside) is indexed again before it is asked.
    struct ListIndex
    {
        std::unordered_set<const QvEntity*> members;
        std::size_t size = 0;
    };
    bool IsListed(const std::vector<QvEntity*>& list, const QvEntity* entity);
    void Listed(std::vector<QvEntity*>& list, QvEntity* entity);
    bool Unlist(std::vector<QvEntity*>& list, const QvEntity* entity);
    // Takes this very object out of the id map: from under every id it was registered
    // by AddEntity (it may have changed id since) and from under its present id.
    void Unregister(const QvEntity* entity);
    void Register(QvEntity* entity);
    void ClearRegistry();

    // Every listed entity but the jaws, the schemes' contents first.
    void DeleteEntitiesButJaws();
    // Takes this very object out of its list (every entry) and out of the map when
    // it is registered there; with destroy deletes it when the model may own it.
    void RemoveObject(QvEntity* entity, bool destroy);
    // Unbinds every part of the model bound to the jaw.
    void UnbindJaw(const QvJaw* jaw);
    void MarkDeletedObject(QvEntity* entity, bool deleted);
    std::vector<QvEntity*>* ListOfCode(std::uint32_t code);

    std::unordered_map<const std::vector<QvEntity*>*, ListIndex> m_listIndex;
    // The ids AddEntity registered each entity under, to unregister it without
    // walking the map.
    std::unordered_multimap<const QvEntity*, int> m_registeredIds;
};
