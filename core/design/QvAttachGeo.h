// SPDX-License-Identifier: GPL-3.0-or-later
// Attachment geometry: a mesh with the parameters of one attachment shape and its
// versioned stream form. Kind codes tell shapes apart in template files and in the
// library factories; type codes (GetType) tell classes apart to the scene machinery.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "core/geometry/QvFrame.h"
#include "core/mesh/QvMesh.h"

class QvModel;
class QvPlane;
class QvToothBase;

// Kind codes (GetKindCode).
inline constexpr int kQvAttachKindNone = 0;
inline constexpr int kQvAttachKindStd = 0x10000001;
inline constexpr int kQvAttachKindPressureZone = 0x10000002;
inline constexpr int kQvAttachKindPressureSpot = 0x10000004;
inline constexpr int kQvAttachKindLingualButton = 0x10000008;
inline constexpr int kQvAttachKindTowingHook = 0x10000010;
inline constexpr int kQvAttachKindCutInstruction = 0x10000020;
inline constexpr int kQvAttachKindLowerDev = 0x10000040;
inline constexpr int kQvAttachKindPower = 0x10000080;

// Versions of the geometry stream forms (template files carry 16386 to 16389).
inline constexpr int kQvAttachGeoVersion1 = 16385;
inline constexpr int kQvAttachGeoVersion2 = 16386;
inline constexpr int kQvAttachGeoVersion3 = 16387;
inline constexpr int kQvAttachGeoVersion4 = 16388;
inline constexpr int kQvAttachGeoVersion5 = 16389;

class QvAttachGeo : public QvMesh
{
public:
    QvAttachGeo() = default;
    QvAttachGeo(const QvAttachGeo& other) = default;
    QvAttachGeo& operator=(const QvAttachGeo&) = delete;
    ~QvAttachGeo() override = default;

    QvTypeCode GetType() const override;
    bool IsKindOf(QvTypeCode code) const override;

    // Writes the form of the version; nothing for a version above 16389.
    std::ostream& Write(std::ostream& os, int version) const override;
    // False when the mesh part or any field fails, a stored count or length is
    // negative or longer than the stream, or the version is above 16389.
    [[nodiscard]] bool Read(std::istream& is, int version, QvModel* model) override;

    virtual void SetFrame(const QvFrame& frame);
    virtual QvFrame GetFrame() const;
    virtual void SetSize(const double& size);
    virtual double GetSize() const;
    virtual void SetLabel(const std::string& label);
    virtual std::string GetLabel() const;
    virtual bool TestNameCode() const;
    // True for the kinds that every attachment builds and owns for itself.
    virtual bool IsOwnedByAttachment() const;
    virtual int GetFixedValue() const;
    virtual void GetAxes(const QvPlane& plane, const QvFrame& frame, QvVector& inPlane, QvVector& normal) const;
    virtual std::string GetClassName() const;
    virtual int GetKindCode() const;
    // Builds the shape on the tooth from picked tooth-mesh vertices and three sizes.
    // Fixed shapes build nothing and answer true.
    virtual bool BuildGeometry(QvToothBase* tooth, const std::vector<int>& vertices, const double* params);

    // Display category from the name: 0 to 8.
    int GetCategory() const;
    bool ContainsValue(int value) const;

    std::string m_name;
    std::int32_t m_nValue1 = 0;
    std::int32_t m_nValue2 = 0;
    std::vector<std::int32_t> m_values;
    std::string m_text;

protected:
    // The base part alone, whatever the dynamic class is.
    std::ostream& WriteBase(std::ostream& os, int version) const;
    [[nodiscard]] bool ReadBase(std::istream& is, int version, QvModel* model);
    // The base part, then an int32 count stored after it; count is set only on success.
    [[nodiscard]] bool ReadBaseWithCount(std::istream& is, int version, QvModel* model, std::int32_t& count);
};

// Shared reading helpers of the attachment forms: a length-prefixed string taken up
// to its first zero byte, refusing negative or oversized lengths.
namespace qvattach {
[[nodiscard]] bool ReadName(std::istream& is, std::string& s);
void WriteName(std::ostream& os, const std::string& s);
// True when the object answers IsKindOf for its own type code and the roots.
bool IsKindOfCode(QvTypeCode own, QvTypeCode code);
} // namespace qvattach
