// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/design/tests/AttachFixtures.h"

#include <map>

#include "core/design/QvAttachGeoCutInstruction.h"
#include "core/design/QvAttachGeoPressureZone.h"
#include "core/design/QvAttachGeoStd.h"
#include "core/design/QvAttachGeoStdPower.h"
#include "core/geometry/QvMatrix.h"
#include "core/model/QvTooth.h"
#include "testing/MeshFixtures.h"

namespace qvdesigntest {

QvMesh MakeCubes(bool twoParts)
{
    QvMesh mesh = qvtest::MakeCube(1.0);
    if (twoParts)
    {
        QvMesh second = qvtest::MakeCube(1.0);
        QvMatrix move(4, 4);
        move.SetIdentity();
        move[0][3] = 3.0;
        second.Transform(move);
        std::map<int, int> oldToNew;
        mesh.AppendMesh(second, oldToNew);
        mesh.UpdateFaceNormals();
        mesh.UpdateBBox();
    }
    return mesh;
}

void Populate(QvAttachGeo& geo, const std::string& name)
{
    const bool power = dynamic_cast<QvAttachGeoStdPower*>(&geo) != nullptr;
    geo.CopyMeshData(MakeCubes(power));
    geo.m_name = name;
    geo.m_nValue1 = 7;
    geo.m_nValue2 = -9;
    geo.m_values = {3, 1, 4};
    geo.m_text = "text";
    geo.SetFrame(QvFrame(QvPoint(1.0, 2.0, 3.0), QvVector(0.0, 1.0, 0.0), QvVector(-1.0, 0.0, 0.0)));
    geo.SetSize(2.5);
    geo.SetLabel("label");
    if (auto* p = dynamic_cast<QvAttachGeoStdPower*>(&geo))
    {
        p->m_dAngle = 30.0;
        p->m_dSecondValue = 0.75;
        p->m_dOffsetValue = 0.4;
    }
    if (auto* z = dynamic_cast<QvAttachGeoPressureZone*>(&geo))
        z->m_nMaxVertexCount = 6;
    if (auto* c = dynamic_cast<QvAttachGeoCutInstruction*>(&geo))
        c->m_nMaxVertexCount = 4;
}

std::unique_ptr<QvTooth> MakeCapTooth(int fdi, int rings, int around)
{
    auto tooth = std::make_unique<QvTooth>();
    tooth->CopyMeshData(qvtest::MakeCrownCap(rings, around));
    tooth->SetFdi(fdi);
    tooth->UpdateBBox();
    return tooth;
}

} // namespace qvdesigntest
