// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/design/QvBracket.h"

#include <cmath>
#include <istream>
#include <ostream>

#include "core/design/QvBracketGeo.h"
#include "core/design/QvBracketSeriesMgr.h"
#include "core/geometry/QvStreamIO.h"
#include "core/model/QvModel.h"
#include "core/model/QvTooth.h"

namespace {

QvMatrix Identity4()
{
    QvMatrix m(4, 4);
    m.SetIdentity();
    return m;
}

} // namespace

std::string QvUpperAsciiGb18030(const std::string& text)
{
    std::string out = text;
    const std::size_t n = out.size();
    std::size_t i = 0;
    while (i < n)
    {
        const auto b = static_cast<unsigned char>(out[i]);
        if (b < 0x80)
        {
            if (b >= 'a' && b <= 'z')
                out[i] = static_cast<char>(b - 'a' + 'A');
            ++i;
        }
        else if (b >= 0x81 && b <= 0xFE && i + 1 < n)
        {
            // Four-byte characters have a digit as their second byte; two-byte ones a
            // trail byte from 0x40 up, which includes the ASCII letters.
            const auto second = static_cast<unsigned char>(out[i + 1]);
            i += (second >= 0x30 && second <= 0x39) ? 4 : 2;
        }
        else
            ++i; // a stray byte stands alone
    }
    return out;
}

QvBracket::QvBracket() : m_matrix(Identity4()) {}

QvBracket::QvBracket(QvBracketGeo* geo) : m_pGeo(geo), m_matrix(Identity4()) {}

QvBracket::~QvBracket() = default;

QvTypeCode QvBracket::GetType() const { return kQvTypeBracket; }

bool QvBracket::IsKindOf(QvTypeCode code) const { return code == kQvTypeBracket || QvEntity::IsKindOf(code); }

void QvBracket::CopyFrom(const QvBracket& src)
{
    if (&src == this)
        return;
    m_bbox = src.m_bbox;
    m_state = src.m_state;
    m_matrix = src.m_matrix;
    m_pTooth = src.m_pTooth;
    for (int i = 0; i < 3; ++i)
        m_scale[i] = src.m_scale[i];
    if (src.m_pGeo)
        m_pGeo = QvBracketSeriesMgr::Instance()->FindGeo(src.m_pGeo->m_name);
}

QvFrame QvBracket::GetWorldFrame() const
{
    if (!m_pGeo)
        return QvFrame();
    QvFrame frame = m_pGeo->m_frame;
    frame.Transform(m_matrix);
    return frame;
}

void QvBracket::UpdateBBox()
{
    if (!m_pGeo)
        return;
    m_pGeo->UpdateBBox();
    m_bbox = m_pGeo->m_bbox;
}

std::ostream& QvBracket::Write(std::ostream& os, int /*version*/) const
{
    // Brackets whose tooth or body was not found when read keep their place in the
    // list; they are stored with number 0 and an empty name, which bind to nothing.
    qvio::WriteI32(os, m_pTooth ? m_pTooth->GetFdi() : 0);
    qvio::WriteString(os, m_pGeo ? m_pGeo->m_name : std::string());
    m_matrix.Write(os);
    for (const double s : m_scale)
        qvio::WriteF64(os, s);
    return os;
}

bool QvBracket::Read(std::istream& is, int /*version*/, QvModel* model)
{
    std::int32_t fdi = 0;
    std::string name;
    QvMatrix matrix;
    double scale[3];
    if (!qvio::ReadI32(is, fdi) || !qvbracket::ReadText(is, name) || !matrix.Read(is))
        return false;
    // Every user of the placement indexes it as 4 x 4.
    if (matrix.Rows() != 4 || matrix.Cols() != 4)
    {
        is.setstate(std::ios::failbit);
        return false;
    }
    for (double& s : scale)
        if (!qvio::ReadF64(is, s))
            return false;

    m_pTooth = model ? model->FindTooth(fdi) : nullptr;
    m_pGeo = QvBracketSeriesMgr::Instance()->FindGeo(QvUpperAsciiGb18030(name));
    m_matrix = matrix;
    for (int i = 0; i < 3; ++i)
        m_scale[i] = scale[i];
    return true;
}

void QvBracket::SetGeometry(QvBracketGeo* geo)
{
    m_pGeo = geo;
    UpdateBBox();
}

QvMatrix QvBracket::GetScaleMatrix() const
{
    QvMatrix out = Identity4();
    for (int c = 0; c < 3 && c < m_matrix.Cols(); ++c)
    {
        double sum = 0.0;
        for (int r = 0; r < m_matrix.Rows(); ++r)
            sum += m_matrix[r][c] * m_matrix[r][c];
        out[c][c] = std::sqrt(sum);
    }
    return out;
}

void QvBracket::GetColumnMajor(double out[16]) const
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            out[4 * c + r] = (r < m_matrix.Rows() && c < m_matrix.Cols()) ? m_matrix[r][c] : 0.0;
}

double QvBracket::GetScale(int i) const { return (i >= 0 && i < 3) ? m_scale[i] : 0.0; }

std::int32_t* QvBracket::GetGeoFdi() const { return m_pGeo ? &m_pGeo->m_nFdi : nullptr; }
