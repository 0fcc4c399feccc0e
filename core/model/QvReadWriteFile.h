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
#include <string>
#include <vector>

#include "core/geometry/QvFrame.h"

class QvAttachGeo;
class QvBracketGeoSeries;
class QvModel;
class QvPatientInfo;
class QvScheme;
class QvToothBase;

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

private:
    QvModel* m_pModel;
    QvTransform m_transform;
    int m_nOption;
};
