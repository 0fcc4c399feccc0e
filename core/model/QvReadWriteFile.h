// SPDX-License-Identifier: GPL-3.0-or-later
// The one entry point for the data files: each operation opens its file, writes or
// parses the header line, hands the stream to the body of the owning class, and
// closes the file again.
//
// Readers that answer an int use the system-wide codes:
//   0 read; 1 the file cannot be opened or its body is bad; 2 an older or
//   incompatible case document; 3 the header names no version of that file kind.
// Writers answer true only when the whole file was written: the file goes to a
// temporary file beside the target that replaces it at the end, so a failed write
// leaves the old file (or no file) behind. A read-only target is never replaced.
#pragma once

#include <iosfwd>
#include <map>
#include <string>
#include <vector>

#include "core/geometry/QvBBox.h"
#include "core/geometry/QvFrame.h"

class QvAttachGeo;
class QvAttachment;
class QvBracketGeoSeries;
class QvClinicalInfo;
class QvMesh;
class QvModel;
class QvPatientInfo;
class QvScheme;
class QvToothBase;
class QvTreatStep;

class QvReadWriteFile
{
public:
    // Bodies are read into and written from model (not owned; it must outlive the
    // calls). Every caller passes option 0.
    QvReadWriteFile(QvModel* model, int option);
    virtual ~QvReadWriteFile() = default;
    QvReadWriteFile(const QvReadWriteFile&) = delete;
    QvReadWriteFile& operator=(const QvReadWriteFile&) = delete;

    QvTransform* GetTransform() { return &m_transform; }
    void SetTransform(const QvTransform& transform);
    int GetOption() const { return m_nOption; }

    // The legacy tooth code: bit 28 always; 0x20 upper jaw; 0x10 when the FDI number
    // is not in 20 to 39; the unit digit in bits 0 to 3. Defined for FDI 11 to 48.
    static unsigned MakeToothCode(const QvToothBase* tooth);
    // Quadrant from bits 5 and 4 (both 10, 0x20 alone 20, neither 30, 0x10 alone 40)
    // plus the unit digit.
    static int ToothCodeToFdi(unsigned code);
    // The variant marking the lower jaw with 0x40: 0x40 and 0x10 both 40, 0x40 alone
    // 30, 0x10 alone 10, neither 20.
    static int LowerToothCodeToFdi(unsigned code);

    // The header text without its line feed, dated today.
    static std::string MakeHeader(int fileType, int version);
    // The version named after "#V" for the file type; 0 for none.
    static int ParseHeader(const std::string& line, int fileType);

    // ---- Writers (the version is the one to write) ---------------------------

    // Case document. Below 0x402 the header line alone; above 0x413 false.
    [[nodiscard]] bool WriteOS(const std::string& path, int version);
    // The model's patient information, int32 count, each scheme.
    [[nodiscard]] bool WriteRVS(const std::string& path, int version, const std::vector<QvScheme*>& schemes);
    // One scheme: above 0x2004 as WriteRVS; up to 0x2004 without the count.
    [[nodiscard]] bool WriteRVSScheme(const std::string& path, int version, QvScheme* scheme);
    [[nodiscard]] bool WriteRVM(const std::string& path, int version);
    [[nodiscard]] bool WriteBKT(const std::string& path, int version, QvBracketGeoSeries* series);

    // ---- Readers --------------------------------------------------------------

    // Case document into the model; records the version read (also when the body
    // fails). A file starting "ODS" is the old binary form: 2 when its fourth byte
    // is 6, else 3. Version 0x401 gives 2 and reads nothing.
    [[nodiscard]] int ReadOS(const std::string& path);
    // Dental model into the model, then its scheme "default"; records the version.
    [[nodiscard]] int ReadDM(const std::string& path);
    // The schemes of a scheme file, appended to out (owned by the caller, also those
    // read before a failing one); the file's patient information goes to info (a
    // scratch record when null). Never 2.
    [[nodiscard]] int ReadRVS(const std::string& path, std::vector<QvScheme*>& out, QvPatientInfo* info);
    // Measurement file into the model; its version is recorded in the model whatever
    // the body answered, once the header was read.
    [[nodiscard]] bool ReadRVM(const std::string& path);
    // A new attachment geometry or bracket series owned by the caller, or null.
    [[nodiscard]] QvAttachGeo* ReadATT(const std::string& path);
    [[nodiscard]] QvBracketGeoSeries* ReadBKT(const std::string& path);

    // ---- Bodies on an open stream ------------------------------------------------

    void WriteRVMBody(std::ostream& os, int version);
    [[nodiscard]] bool ReadRVMBody(std::istream& is, int version);
    // Writes the case-document body; always true.
    bool WriteOSBody(std::ostream& os, int version);
    // The case-document body with no owner.
    [[nodiscard]] bool ReadOSBody(std::istream& is, int version);
    [[nodiscard]] bool ReadDMBody(std::istream& is, int version);

    // ---- Older file kinds and STL import (QvReadWriteFileLegacy.cpp) -----------------

    // Tooth-set file: the version text lies between the first "V" and the first "("
    // of the header line; only 0x101 has a body. False for a file that cannot be
    // opened, a header without that text, any other version or a bad body.
    [[nodiscard]] bool ReadTSD(const std::string& path);
    // Body: next entity id as decimal text and one line feed, the transform, tagged
    // records (1 jaw in its full form, 2 gum, 3 tooth, 5 tooth list) and the end byte
    // 0xFF. Each record read is added to the model; a failed one is deleted and ends
    // the read (the records before it stay). False for an unknown tag (logged), a
    // file ending before 0xFF, or an id line that is no decimal int32. The entity
    // counter becomes the id read, at least 100, on every way out once the id was read.
    [[nodiscard]] bool ReadTSD_V0(std::istream& is, int version);
    // Jaws, gums and tooth lists of the model in that layout. False when the stream
    // failed, and when the model holds teeth: a tooth writes nothing in this family,
    // so the file would not read back. Taking the id advances the entity counter.
    [[nodiscard]] bool WriteTSD_V0(std::ostream& os, int version);
    // Older case file: never read; always false.
    [[nodiscard]] bool ReadOSD(const std::string& path);
    // A new mesh (owned by the caller) from a binary or text STL file, identical
    // corners joined; null when the file cannot be read or holds no usable facet.
    [[nodiscard]] QvMesh* ImportSTL(const std::string& path);
    // The corners of the file's facets, appended; see QvStlCorners.h.
    [[nodiscard]] static bool ReadBinarySTL(const std::string& path, std::vector<QvPoint>& corners);
    [[nodiscard]] static bool ReadAsciiSTL(const std::string& path, std::vector<QvPoint>& corners);

    // ---- Node records of an older planning format, step conversions ---------------
    // These need schemes: they are defined in core/scheme (QvReadWriteFileNodes.cpp),
    // so callers link rivela_scheme.

    // Steps by tooth (owned by the caller) and attachments by tooth, in list order.
    using ToothSteps = std::map<QvToothBase*, std::vector<QvTreatStep*>>;
    using ToothAttachments = std::map<QvToothBase*, std::vector<QvAttachment*>>;

    // Kind byte 8, int32 count (the scheme's step count - 1), int32 tooth code, then
    // per step 1..count: int32 step, 3 floats position, 4 floats quaternion (x, y, z,
    // w), int32 flags. extra must be 4 x 4. False when the stream failed, for a tooth
    // without steps or outside FDI 11 to 48, or a null scheme or tooth.
    [[nodiscard]] bool WriteToothNodes(std::ostream& os, QvScheme* scheme, QvToothBase* tooth, const QvMatrix& extra);
    // The count records after the header (the caller read kind, count and code): new
    // steps appended to steps[tooth], attachment steps widened. False, both maps left
    // as they were, for a count larger than the bytes left, an unknown tooth, a step
    // outside 1..count, a non-finite value or a zero quaternion, or a short stream.
    [[nodiscard]] bool ReadToothNodes(std::istream& is, QvModel* model, int count, unsigned toothCode,
                                      ToothAttachments& attachments, ToothSteps& steps);
    // Rotation by q (x, y, z, w) about the frame origin of the tooth, then the translation.
    static void BuildNodeMatrix(const float q[4], const float translation[3], QvMatrix& out,
                                const QvToothBase* tooth);
    // 3 gives 2, 4 gives 3, anything else 1.
    static int NodeStepType(int stepType);
    // Box of the geometry's vertices placed by the attachment's matrix; (0,0,0)-(0,0,0)
    // without geometry or vertices.
    static QvBBox GetAttachmentBox(const QvAttachment* attachment);
    // Whether a step rotates or translates its tooth; false for an empty map.
    static bool HasMovement(const std::map<QvToothBase*, QvTreatStep*>& steps);
    // Every step number, attachment step and IPR step (key and entry) lowered by one.
    static void ShiftStepsDown(ToothSteps& steps, ToothAttachments& attachments, QvClinicalInfo* clinical);
    // On the current scheme of the model: leading and trailing moving steps become
    // holds, the first key step the initial one (with the flag only after holds and
    // one other step), the last key step the final one. Teeth extracted or hidden
    // are left alone.
    void NormalizeStepTypes(bool afterHolds);
    // On the current scheme: each tooth's steps before its first initial step and
    // after its last final or initial step are removed (none when it has no such step).
    void TrimSteps();

private:
    QvModel* m_pModel;
    QvTransform m_transform;
    int m_nOption;
};
