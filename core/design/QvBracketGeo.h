// SPDX-License-Identifier: GPL-3.0-or-later
// Bracket bodies and the bracket series they come in. A series is one product line,
// stored as one BKT data file named after its bracket code; placed brackets find
// their body again by the body's name.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "core/geometry/QvFrame.h"
#include "core/geometry/QvPoint.h"
#include "core/mesh/QvMesh.h"

class QvModel;

// The version word of the BKT files.
inline constexpr int kQvBracketVersion1 = 65537;

class QvBracketGeo : public QvMesh
{
public:
    // Empty mesh, empty texts, number 0, default frame, zero vectors, no second mesh.
    QvBracketGeo();
    // Copies would have to decide who owns the second mesh; nothing needs them.
    QvBracketGeo(const QvBracketGeo&) = delete;
    QvBracketGeo& operator=(const QvBracketGeo&) = delete;
    ~QvBracketGeo() override;

    QvTypeCode GetType() const override;
    bool IsKindOf(QvTypeCode code) const override;

    // The body record: mesh part, name, second text, number, FDI number, frame, two
    // vectors, four parameters, second mesh (an empty mesh form when there is none).
    std::ostream& Write(std::ostream& os, int version) const override;
    // False when the mesh part, any field or the second mesh fails to read, or a text
    // count is negative or longer than the stream; the body is then unchanged.
    [[nodiscard]] bool Read(std::istream& is, int version, QvModel* model) override;

    // Replaces the mesh by the triangles of a binary or text STL file (binary when the
    // size is exactly 84 + 50 x the stored facet count). False, with the body
    // unchanged, when the file cannot be opened or a text facet is cut off or holds a
    // vertex line that does not parse.
    [[nodiscard]] bool LoadStl(const std::string& path);

    std::string m_name;
    std::int32_t m_nNumber = 0;
    std::string m_secondText;
    std::int32_t m_nFdi = 0;
    QvFrame m_frame;
    QvVector m_firstVector;
    QvVector m_secondVector;
    // The first is the distance over which bracket design averages the tooth-surface
    // normal under the bracket.
    double m_params[4] = {0.0, 0.0, 0.0, 0.0};
    // Read and written with the body; never drawn.
    std::unique_ptr<QvMesh> m_pSecondMesh;
};

class QvBracketGeoSeries
{
public:
    // No bodies, empty texts, key 0.
    QvBracketGeoSeries();
    // Takes ownership of the given bodies (nulls and repeated pointers are dropped).
    explicit QvBracketGeoSeries(const std::vector<QvBracketGeo*>& bodies);
    QvBracketGeoSeries(const QvBracketGeoSeries&) = delete;
    QvBracketGeoSeries& operator=(const QvBracketGeoSeries&) = delete;
    // Deletes every body.
    virtual ~QvBracketGeoSeries();

    // The body of a BKT file: name, key, attributes 1 to 8, body count, the bodies.
    std::ostream& Write(std::ostream& os, int version) const;
    // Reads that body. False when a field or a body record fails, or the body count is
    // negative or larger than the stream can hold; the series is then unchanged.
    // On success the bodies read are appended after any present ones.
    [[nodiscard]] bool Read(std::istream& is, int version, QvModel* model);

    // Owned, in file order.
    std::vector<QvBracketGeo*> m_bodies;
    // Attribute 1 to attribute 8.
    std::string m_attributes[8];
    std::int32_t m_nKey = 0;
    // The bracket code by which the series is found.
    std::string m_name;
};

// Installs the bracket-series half of the design file link (QvDesignFileLinks.h),
// replacing any present one: series are created, read, written and deleted by the
// classes above.
void QvInstallBracketFileLink();
// Makes sure the file layer can read and write BKT files: installs the design file
// link and its bracket half where they are missing.
void QvEnsureBracketFileLink();

namespace qvbracket {

// A text of the bracket forms: int32 byte count, the bytes; kept up to the first zero
// byte. False, with the stream failed, on a negative or oversized count.
[[nodiscard]] bool ReadText(std::istream& is, std::string& text);

} // namespace qvbracket
