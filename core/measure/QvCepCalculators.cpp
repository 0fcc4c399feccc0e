// SPDX-License-Identifier: GPL-3.0-or-later
// The calculators that turn a tracing's landmarks into its measure items. An item is
// made only from landmarks the tracing holds, and never as a value that is not
// finite: a millimetre value needs the calibration scale, a ratio a divisor that is
// not zero, a crossing two lines that are not parallel.
#include <algorithm>
#include <cmath>
#include <initializer_list>

#include "core/measure/QvCepDetail.h"

namespace {

// Landmark ids by their short names.
enum : int
{
    Cal0 = 0,
    Cal1 = 1,
    CM = 2,
    SN = 3,
    UL = 4,
    S = 5,
    N = 6,
    A = 7,
    B = 8,
    Po = 9,
    P = 10,
    O = 11,
    Gn = 12,
    Me = 13,
    T2 = 14,
    UI = 15,
    UIA = 16,
    LI = 17,
    LIA = 18,
    PNS = 19,
    Prn = 22,
    Pos = 23,
    LL = 24,
    Pt = 27,
    Ba = 28,
    Ar = 30,
    T1 = 31,
    ANS = 32,
    R1 = 43,
    R2 = 44,
    R3 = 45,
    R4 = 46,
    Dc = 47,
    U6 = 48,
    L6 = 49,
    U6D = 50,
    L6D = 51,
    BPoMid = 56,
    RamusCentre = 57,
    Go = 58,
};

enum : int
{
    kAngle = 0,
    kLength = 2,
    kLengthOther = 3,
    kRatio = 4,
};

enum : int
{
    kGroupComplex = 0,
    kGroupAlternate = 1,
    kGroupRicketts = 2,
    kGroupStandard = 3,
    kGroupBasic = 4,
};

using Ids = std::initializer_list<int>;

using qvcep::Crossing;
using qvcep::DegreesAboutZ;
using qvcep::Mid;

double W(double degrees) { return degrees > 180.0 ? degrees - 360.0 : degrees; }

QvLine Horizontal(const QvPoint& x) { return QvLine(x, QvVector(1.0, 0.0, 0.0)); }
QvLine Vertical(const QvPoint& x) { return QvLine(x, QvVector(0.0, 1.0, 0.0)); }

} // namespace

// One run of a calculator: the landmarks, the scale and the group of the items made.
class QvCepMeasure::Calculator
{
public:
    Calculator(QvCepMeasure& m, double scale, int group) : m_m(m), m_scale(scale), m_group(group) {}

    bool Has(Ids ids) const
    {
        QvKeyPoint p;
        for (const int id : ids)
            if (!m_m.FindKeyPoint(id, p))
                return false;
        return true;
    }
    std::vector<QvKeyPoint> Points(Ids ids) const
    {
        std::vector<QvKeyPoint> out;
        for (const int id : ids)
        {
            QvKeyPoint p;
            m_m.FindKeyPoint(id, p);
            out.push_back(p);
        }
        return out;
    }
    // The held position (image-relative) of a landmark.
    QvPoint At(int id) const
    {
        QvKeyPoint p;
        m_m.FindKeyPoint(id, p);
        return p.m_point;
    }
    QvPoint Px(int id) const { return m_m.ToPixel(At(id)); }
    bool HasScale() const { return !IsZero(m_scale); }

    // A… item of the formula's landmarks; made when those and `also` are held.
    void Angle(int id, Ids formula, double min, double max, Ids also = {})
    {
        if (!Has(formula) || !Has(also))
            return;
        std::vector<QvKeyPoint> points = Points(formula);
        m_m.AddAngleItem(id, points, kAngle, m_group, min, max);
    }
    // D… item, likewise.
    void Distance(int id, Ids formula, double min, double max, Ids also = {}, int type = kLength)
    {
        if (!Has(formula) || !Has(also))
            return;
        m_m.AddDistanceItem(id, Points(formula), type, m_group, min, max, m_scale);
    }
    // A computed item stored with the landmarks listed; the caller checked them.
    void Computed(int id, Ids points, double value, int type, double min, double max)
    {
        if (!std::isfinite(value))
            return;
        m_m.m_items.emplace_back(id, Points(points), type, m_group, value, min, max);
    }
    bool Val(int id, double& out) const { return FindItemValue(m_m.m_items, id, out); }

    // val(a) + val(b) + val(c).
    void Sum(int id, int a, int b, int c, Ids points, double min, double max)
    {
        double va = 0.0;
        double vb = 0.0;
        double vc = 0.0;
        if (!Has(points) || !Val(a, va) || !Val(b, vb) || !Val(c, vc))
            return;
        Computed(id, points, va + vb + vc, kAngle, min, max);
    }
    // val(a) / val(b); nothing over a zero divisor. Made when the points and `also` are held.
    void Ratio(int id, int a, int b, Ids points, Ids also, double min, double max)
    {
        double va = 0.0;
        double vb = 0.0;
        if (!Has(points) || !Has(also) || !Val(a, va) || !Val(b, vb) || IsZero(vb))
            return;
        Computed(id, points, va / vb, kRatio, min, max);
    }

    // Signed distance of x from line(a, b), positive away from P.
    double SignedDistance(int x, int a, int b) const
    {
        const QvPoint pa = Px(a);
        const QvLine line(pa, Px(b) - pa);
        const QvPoint p = Px(P);
        QvVector n = line.ClosestPoint(p) - p;
        n.Normalize();
        return n.Dot(Px(x) - pa);
    }
    // SD(x; a, b) * scale, stored with `points`.
    void SignedMillimetres(int id, int x, int a, int b, Ids points, double min, double max)
    {
        if (!HasScale() || !Has(points))
            return;
        Computed(id, points, SignedDistance(x, a, b) * m_scale, kLength, min, max);
    }

    // An angle folded as AddAngleItem folds it: the value rounded; above 180 the
    // formula's points reversed and 360 taken off; then its absolute value. The points
    // of `tail` follow the formula's.
    void FoldedAngle(int id, double raw, std::vector<QvKeyPoint> head, Ids tail, double min, double max)
    {
        double value = qvcep::OneDecimal(raw);
        if (value > 180.0)
        {
            std::reverse(head.begin(), head.end());
            value -= 360.0;
        }
        for (const QvKeyPoint& p : Points(tail))
            head.push_back(p);
        m_m.m_items.emplace_back(id, head, kAngle, m_group, std::fabs(value), min, max);
    }

    QvCepMeasure& m_m;
    double m_scale;
    int m_group;
};

// ---- Dispatch -------------------------------------------------------------------------------

bool QvCepMeasure::Calculate(int analysisKind)
{
    if (m_keyPoints.empty() || m_imageRect.IsEmpty())
        return false;
    m_items.clear();

    double scale = 0.0;
    QvKeyPoint c0;
    QvKeyPoint c1;
    if (FindKeyPoint(Cal0, c0) && FindKeyPoint(Cal1, c1))
    {
        const double d = DistanceBetween(c0.m_point, c1.m_point);
        scale = IsZero(d) ? 0.0 : 10.0 / d;
    }

    if (analysisKind == 1)
    {
        CalculateComplex(scale);
        CalculateRicketts(scale);
    }
    else if (analysisKind == 2)
        CalculateBasic(scale);
    else
        CalculateStandard(scale);
    return true;
}

// ---- Standard -------------------------------------------------------------------------------

void QvCepMeasure::CalculateStandard(double scale)
{
    Calculator c(*this, scale, kGroupStandard);
    c.Angle(0, {S, N, A}, 78.8, 86.8);
    c.Angle(1, {S, N, B}, 76.2, 84);
    c.Angle(2, {B, N, A}, 0.7, 4.7);
    c.Angle(3, {P, O, N, Po}, 81.7, 89.1);
    c.Angle(4, {Gn, S, P, O}, 59.2, 73.4);
    c.Angle(5, {Me, T2, P, O}, 25.5, 36.7);
    c.Angle(6, {Po, A, N, A}, 1.6, 10.4);
    c.Angle(7, {S, N, UIA, UI}, 99.4, 112);
    c.Distance(8, {UI, N, A}, 2.7, 7.5);
    c.Angle(9, {N, A, UI, UIA}, 17.1, 28.5);
    c.Angle(10, {LI, LIA, Me, T2}, 87.7, 100.1);
    c.Distance(11, {LI, N, B}, 4.6, 8.8);
    c.Angle(12, {LIA, LI, N, B}, 24.5, 36.1);
    c.Angle(14, {UL, SN, CM}, 80, 110);
    c.Angle(18, {Ar, S, N}, 118, 128);
    c.Angle(19, {T1, Ar, S}, 137, 149);
    c.Angle(20, {Me, T2, T1, Ar}, 123, 137, {Go});
    c.Angle(21, {Ar, T1, Me, T2, N}, 52, 55, {Go});
    c.Angle(22, {Me, T2, Ar, T1, N}, 70, 75, {Go});
    c.Sum(23, 18, 19, 20, {N, S, Ar, Go, Me, T1, T2}, 390, 402);
    c.Distance(24, {S, N}, 68, 74);
    c.Distance(25, {S, Ar}, 29, 35);
    c.Distance(26, {Ar, T1, Me, T2}, 39, 49, {Go});
    c.Distance(27, {Me, T2, Ar, T1}, 66, 76, {Go});
    c.Distance(28, {Me, N}, 116.5, 126.5);
    c.Distance(29, {Me, T2, Ar, T1, S}, 72.5, 82.5, {Go});
    c.Ratio(30, 25, 26, {S, Ar, T1, Me, Go, T2}, {}, 0.75, 0.75);
    c.Ratio(31, 24, 27, {S, N, Me, Go, Ar, T1, T2}, {}, 1, 1);
    c.Ratio(32, 29, 28, {S, N, Ar, T1, Me, T2, Go}, {}, 0.61, 0.69);
}

// ---- Basic ----------------------------------------------------------------------------------

void QvCepMeasure::CalculateBasic(double scale)
{
    Calculator c(*this, scale, kGroupBasic);
    c.Angle(0, {S, N, A}, 78.8, 85.8);
    c.Angle(1, {S, N, B}, 74.7, 80.5);
    c.Angle(2, {B, N, A}, 3.3, 6.1);
    c.Angle(3, {P, O, N, Po}, 80.1, 86.1);
    c.Angle(6, {Po, A, N, A}, 7.1, 13.5);
    c.Angle(78, {Me, T2, S, N}, 32.2, 39.4);
    c.Angle(5, {Me, T2, P, O}, 27.4, 36.2);
    c.Angle(4, {Gn, S, P, O}, 62.6, 68.4);
    c.Angle(7, {S, N, UIA, UI}, 99.5, 110.1);
    c.Angle(9, {N, A, UI, UIA}, 17.2, 27.6);
    c.Distance(8, {UI, N, A}, 1.5, 4.7);
    c.Angle(13, {UIA, UI, LI, LIA}, 116, 128);
    c.Angle(10, {LI, LIA, Me, T2}, 89.5, 99.9);
    c.Angle(12, {LIA, LI, N, B}, 27.7, 37.7);
    c.Distance(11, {LI, N, B}, 4.5, 7.5);
}

// ---- Complex --------------------------------------------------------------------------------

void QvCepMeasure::CalculateComplex(double scale)
{
    Calculator c(*this, scale, kGroupComplex);
    c.Angle(18, {Ar, S, N}, 118, 128);
    c.Distance(24, {S, N}, 68, 74);
    c.Distance(25, {S, Ar}, 29, 35);
    c.Angle(20, {Me, T2, T1, Ar}, 123, 137, {Go});
    c.Distance(27, {Me, T2, Ar, T1}, 66, 76, {Go});
    c.Angle(21, {Ar, T1, Me, T2, N}, 52, 55, {Go});
    c.Angle(22, {Me, T2, Ar, T1, N}, 70, 75, {Go});
    c.Distance(26, {Ar, T1, Me, T2}, 39, 49, {Go});
    c.Angle(0, {S, N, A}, 78.8, 86.8);
    c.Angle(1, {S, N, B}, 76.2, 84);
    c.Angle(2, {B, N, A}, 0.7, 4.7);
    c.Angle(6, {Po, A, N, A}, 1.6, 10.4);
    c.Angle(19, {T1, Ar, S}, 137, 149);
    c.Sum(23, 18, 19, 20, {N, S, Ar, Go, Me, T1, T2}, 390, 402);
    c.Ratio(31, 24, 27, {S, N, Me, Go, Ar, T1, T2}, {}, 1, 1);
    c.Angle(60, {T2, Me, N, S}, 27, 39);
    c.Distance(61, {Ar, T1, T2, Me, N}, 119.4, 127.4, {Go});
    c.Distance(62, {S, Gn}, 119, 131);
    c.Angle(63, {N, S, Po, N}, 75.5, 83.5);
    c.Distance(29, {Me, T2, Ar, T1, S}, 72.5, 82.5, {Go});
    c.Distance(28, {Me, N}, 116.5, 126.5);
    c.Ratio(32, 29, 28, {S, N, Ar, T1, Me, T2, Go}, {}, 0.61, 0.69);
    c.Angle(64, {Gn, S, S, N}, 61.5, 72.5);
    c.Angle(10, {LI, LIA, Me, T2}, 87.7, 100.1);
    c.Angle(65, {LI, LIA, P, O}, 55.7, 72.7);
    c.SignedMillimetres(66, UI, N, Po, {UI, N, Po}, 3, 7);
    c.SignedMillimetres(67, LI, N, Po, {LI, N, Po}, -0.2, 3.8);
    c.Angle(7, {S, N, UIA, UI}, 99.4, 112);
    if (c.Has({Me, Go, LI, UI, U6, L6, Ar, T1, T2}))
    {
        const QvPoint occlusal = Mid(c.Px(L6), c.Px(U6));
        const QvPoint incisal = Mid(c.Px(LI), c.Px(UI));
        c.Computed(68, {Me, Go, LI, UI, U6, L6, Ar, T1, T2},
                   DegreesAboutZ(occlusal - incisal, c.Px(Go) - c.Px(Me)), kAngle, 11.6, 21.6);
    }
    c.Angle(13, {UIA, UI, LI, LIA}, 116, 132.4);
    c.SignedMillimetres(69, UL, Pos, Prn, {UL, Prn, Pos}, -6.7, -2.7);
    c.SignedMillimetres(70, LL, Pos, Prn, {LL, Prn, Pos}, -4, 0);
}

// ---- Ricketts -------------------------------------------------------------------------------

void QvCepMeasure::CalculateRicketts(double scale)
{
    Calculator c(*this, scale, kGroupRicketts);
    const bool hasFol = c.Has({U6, L6, UI, LI});
    const bool mm = c.HasScale();
    QvPoint molar;
    QvPoint incisal;
    QvLine fol;
    if (hasFol)
    {
        molar = Mid(c.Px(L6), c.Px(U6));
        incisal = Mid(c.Px(LI), c.Px(UI));
        fol = QvLine(molar, incisal - molar);
    }

    // |a - b| * scale, negative when `negative`.
    const auto signedLength = [&](const QvPoint& a, const QvPoint& b, bool negative) {
        const double d = a.Distance(b) * scale;
        return negative ? -d : d;
    };

    if (hasFol && mm && c.Has({L6D, U6D}))
    {
        const QvPoint a = fol.ClosestPoint(c.Px(U6D));
        const QvPoint b = fol.ClosestPoint(c.Px(L6D));
        c.Computed(45, {L6, U6, LI, UI, L6D, U6D}, signedLength(a, b, a[0] < b[0]), kLength, -4, -2);
    }
    if (hasFol && mm)
    {
        const QvPoint a = fol.ClosestPoint(c.Px(UI));
        const QvPoint b = fol.ClosestPoint(c.Px(LI));
        c.Computed(46, {L6, U6, LI, UI}, signedLength(a, b, a[0] < b[0]), kLength, 0, 5);

        const QvVector& d = fol.GetDirection();
        const QvLine k(molar, QvVector(-d[1], d[0], 0.0));
        const QvPoint ka = k.ClosestPoint(c.Px(UI));
        const QvPoint kb = k.ClosestPoint(c.Px(LI));
        c.Computed(47, {L6, U6, LI, UI}, signedLength(ka, kb, ka[1] < kb[1]), kLength, 0.5, 4.5);

        const QvPoint li = c.Px(LI);
        if (const std::optional<QvPoint> x = Crossing(Vertical(li), fol))
        {
            const double d48 = fol.Distance(li) * scale;
            c.Computed(48, {L6, U6, LI, UI}, (*x)[1] < li[1] ? -d48 : d48, kLength, -0.8, 3.2);
        }
    }
    c.Angle(77, {UIA, UI, LI, LIA}, 116, 132.4);
    c.SignedMillimetres(49, UI, A, Po, {UI, A, Po}, 1.2, 5.8);
    c.SignedMillimetres(50, LI, A, Po, {LI, A, Po}, -1.3, 3.3);
    c.Angle(51, {UI, UIA, A, Po}, 24, 32);
    c.Angle(52, {LIA, LI, A, Po}, 18, 26);
    if (hasFol && c.Has({O, P}))
    {
        const double angle = DegreesAboutZ(c.Px(O) - c.Px(P), incisal - molar);
        c.Computed(53, {O, P, LI, UI, U6, L6}, angle > 180.0 ? 360.0 - angle : angle, kAngle, 3.2, 13.2);
    }
    if (mm && c.Has({O, P, Pt, U6D}))
    {
        const QvLine op(c.Px(O), c.Px(P));
        c.Computed(75, {O, P, Pt, U6D}, op.ClosestPoint(c.Px(Pt)).Distance(op.ClosestPoint(c.Px(U6D))) * scale,
                   kLength, 13, 19);
    }
    if (mm && c.Has({A, N, Po}))
    {
        const QvPoint a = c.Px(A);
        const QvLine npo(c.Px(N), c.Px(Po));
        if (const std::optional<QvPoint> x = Crossing(Horizontal(a), npo))
        {
            const double d = npo.Distance(a) * scale;
            c.Computed(54, {A, N, Po}, a[0] < (*x)[0] ? -d : d, kLength, -0.9, 3.1);
        }
    }
    if (c.Has({ANS, BPoMid, RamusCentre, R1, R2, R3, R4, B, Po}))
        c.FoldedAngle(72, AngleAtVertex(c.At(BPoMid), c.At(RamusCentre), c.At(ANS)),
                      c.Points({BPoMid, RamusCentre, ANS}), {R1, R2, R3, R4, B, Po}, 41, 49);
    c.Angle(5, {Me, T2, P, O}, 25.5, 36.7);
    c.Angle(55, {N, A, P, O}, 87, 93);
    c.Angle(56, {Ba, N, Pt, Gn}, 86.5, 93.5);
    c.Angle(57, {P, O, N, Po}, 85, 91);
    c.Angle(58, {T2, Me, Po, N}, 64.5, 71.5);
    if (mm && c.Has({O, P, Pt}))
    {
        const QvPoint p = c.Px(P);
        const QvPoint pt = c.Px(Pt);
        const QvPoint f = QvLine(c.Px(O), p).ClosestPoint(pt);
        // Pt on the line OP leaves no direction towards it; the side is then unknown.
        if (!(f - pt).IsZero())
            if (const std::optional<QvPoint> x = Crossing(Horizontal(p), QvLine(pt, f)))
            {
                const double d = f.Distance(p) * scale;
                c.Computed(76, {O, P, Pt}, p[0] < (*x)[0] ? -d : d, kLength, -40.8, -36.4);
            }
    }
    c.Angle(59, {Ba, N, O, P}, 24.3, 30.3);
    if (c.Has({P, O, Dc, RamusCentre, R1, R2, R3, R4}))
        c.FoldedAngle(73, AngleBetweenLines(c.At(RamusCentre), c.At(Dc), c.At(P), c.At(O)),
                      c.Points({RamusCentre, Dc, P, O}), {R1, R2, R3, R4}, 73, 79);
    if (c.Has({Dc, BPoMid, RamusCentre, R1, R2, R3, R4, B, Po}))
        c.FoldedAngle(74, AngleBetweenLines(c.At(RamusCentre), c.At(Dc), c.At(RamusCentre), c.At(BPoMid)),
                      c.Points({RamusCentre, Dc, BPoMid}), {R1, R2, R3, R4, B, Po}, 25.2, 33.2);
    c.SignedMillimetres(71, LL, Pos, Prn, {LL, Prn, Pos}, -4, 0);
}

// ---- Alternate ------------------------------------------------------------------------------

void QvCepMeasure::CalculateAlternate(double scale)
{
    Calculator c(*this, scale, kGroupAlternate);
    c.Angle(18, {Ar, S, N}, 118, 128);
    c.Distance(24, {S, N}, 68, 74);
    c.Distance(25, {S, Ar}, 29, 35);
    c.Angle(20, {Me, T2, Ar}, 123, 137);
    c.Distance(27, {Me, T2}, 66, 76);
    c.Angle(21, {N, T2, Ar}, 52, 55);
    c.Angle(22, {Me, T2, N}, 70, 75);
    c.Distance(26, {Ar, T2}, 39, 49);
    c.Angle(0, {S, N, A}, 78.8, 86.8);
    c.Angle(1, {S, N, B}, 76.2, 84);
    c.Angle(6, {Po, A, N}, 1.6, 10.4);
    c.Angle(19, {T2, Ar, S}, 137, 149);
    c.Sum(23, 18, 19, 20, {N, S, Ar, T2, Me}, 390, 402);
    c.Ratio(31, 24, 27, {S, N, Me, Gn}, {T2}, 1, 1);
    c.Angle(35, {N, S, T2, Me}, 27, 39);
    c.Distance(36, {N, Gn}, 119, 127, {}, kLengthOther);
    c.Distance(37, {S, Gn}, 119, 131, {}, kLengthOther);
    c.Angle(38, {S, N, Po, N}, 75.5, 83.5);
    c.Distance(29, {T2, S}, 70, 75, {}, kLengthOther);
    c.Distance(28, {Me, N}, 70, 75, {}, kLengthOther);
    c.Ratio(32, 29, 28, {S, N, Me, T2}, {}, 0.62, 0.65);
    c.Angle(39, {Gn, S, N, S}, 60, 73);
    c.Angle(10, {LI, LIA, Me, T2}, 87.7, 100.1);
    c.Angle(40, {LIA, LI, P, O}, 54, 74);
    c.Angle(41, {UI, UIA, Po, N}, -1, 4);
    c.Angle(42, {LIA, LI, Po, N}, 3, 7);
    c.Angle(7, {S, N, UIA, UI}, 99.4, 112);
    c.Angle(13, {UIA, UI, LI, LIA}, 116, 132.4);
    c.Distance(43, {UL, Prn, Pos}, -4, 4, {}, kLengthOther);
    c.Distance(44, {LL, Prn, Pos}, -7, -3, {}, kLengthOther);
}

// ---- Combined angles ------------------------------------------------------------------------

void QvCepMeasure::CalculateCombinedAngles()
{
    Calculator c(*this, 0.0, kGroupComplex);
    if (!c.Has({A, B, Me, Gn, ANS, PNS, P, O}))
        return;
    const auto at = [&c](int id) { return c.At(id); };
    const double palatal = W(AngleBetweenLines(at(PNS), at(ANS), at(O), at(P)));
    c.Computed(33, {A, B, Me, Gn, ANS, PNS, P, O}, AngleBetweenLines(at(A), at(B), at(Me), at(Gn)) + palatal, kAngle,
               67.61, 78.05);
    double facial = 0.0;
    if (c.Has({N, Po}) && c.Val(3, facial))
        c.Computed(34, {A, B, ANS, PNS, P, O, N, Po},
                   facial + W(AngleBetweenLines(at(B), at(A), at(N), at(Po))) + palatal, kAngle, 77.06, 85.14);
}
