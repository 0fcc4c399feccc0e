// SPDX-License-Identifier: GPL-3.0-or-later
// Small bracket bodies and series for the bracket tests, and packed series files
// written the way the product's bracket library is.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/design/QvBracketGeo.h"
#include "core/model/QvCompress.h"
#include "core/model/QvReadWriteFile.h"
#include "testing/MeshFixtures.h"

namespace qvtest {

// A body: a cube of `size` with every field set from `seed`, and a second mesh.
inline std::unique_ptr<QvBracketGeo> MakeBody(const std::string& name, int fdi, double seed = 1.0)
{
    auto body = std::make_unique<QvBracketGeo>();
    body->CopyMeshData(MakeCube(seed));
    body->UpdateBBox();
    body->m_name = name;
    body->m_secondText = "second-" + name;
    body->m_nNumber = fdi * 10;
    body->m_nFdi = fdi;
    body->m_frame = QvFrame(QvPoint(seed, 2.0 * seed, 3.0), QvVector(1.0, 1.0, 0.0), QvVector(-1.0, 1.0, 0.0));
    body->m_frame.m_centre = QvPoint(seed, 0.5, -0.25);
    body->m_firstVector = QvVector(0.1, 0.2, 0.3);
    body->m_secondVector = QvVector(-seed, 0.0, 7.5);
    for (int i = 0; i < 4; ++i)
        body->m_params[i] = seed + 0.25 * i;
    body->m_pSecondMesh = std::make_unique<QvMesh>(MakeTwoTriangleStrip());
    return body;
}

// A series named code with one body per FDI number, named "<code>-<fdi>".
inline std::unique_ptr<QvBracketGeoSeries> MakeSeries(const std::string& code, const std::vector<int>& fdis,
                                                      int key = 3)
{
    auto series = std::make_unique<QvBracketGeoSeries>();
    series->m_name = code;
    series->m_nKey = key;
    for (int i = 0; i < 8; ++i)
        series->m_attributes[i] = code + "-attr" + std::to_string(i + 1);
    for (const int fdi : fdis)
        series->m_bodies.push_back(MakeBody(code + "-" + std::to_string(fdi), fdi, 1.0 + fdi / 100.0).release());
    return series;
}

// Writes the series as a BKT file at unpackedPath and packs it into packedPath.
inline ::testing::AssertionResult WritePackedSeries(QvBracketGeoSeries& series, const std::string& unpackedPath,
                                                    const std::string& packedPath)
{
    QvEnsureBracketFileLink();
    QvReadWriteFile file(nullptr, 0);
    if (!file.WriteBKT(unpackedPath, kQvBracketVersion1, &series))
        return ::testing::AssertionFailure() << "WriteBKT failed for " << unpackedPath;
    if (QvCompress::Compress(unpackedPath, packedPath) != 0)
        return ::testing::AssertionFailure() << "Compress failed for " << packedPath;
    return ::testing::AssertionSuccess();
}

} // namespace qvtest
