// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/geometry/QvBSplineCurve.h"

#include <algorithm>
#include <cmath>
#include <istream>
#include <locale>
#include <ostream>

#include "core/geometry/QvFrame.h"
#include "core/geometry/QvMatrix.h"
#include "core/geometry/QvNurbsHelper.h"
#include "core/geometry/QvPlane.h"
#include "core/geometry/QvStreamIO.h"

namespace {

constexpr double kSinHalfDegree = 0.008726535498270871;

// Text forms are read and written in the classic locale with decimal integers, whatever the
// caller's stream carries; its settings come back afterwards.
class ClassicFormat
{
public:
    explicit ClassicFormat(std::ios& s) : m_stream(s), m_locale(s.imbue(std::locale::classic())), m_flags(s.flags())
    {
        s.unsetf(std::ios_base::basefield | std::ios_base::boolalpha);
        s.setf(std::ios_base::dec | std::ios_base::skipws);
    }
    ~ClassicFormat()
    {
        m_stream.flags(m_flags);
        m_stream.imbue(m_locale);
    }
    ClassicFormat(const ClassicFormat&) = delete;
    ClassicFormat& operator=(const ClassicFormat&) = delete;

private:
    std::ios& m_stream;
    std::locale m_locale;
    std::ios_base::fmtflags m_flags;
};

// Reads count records with read(), growing the list as data actually arrives, so that a damaged
// count on a stream that cannot tell its length never reserves more than the stream holds.
template <typename T, typename ReadOne>
bool ReadList(std::istream& is, std::int32_t count, std::vector<T>& out, ReadOne readOne)
{
    out.clear();
    out.reserve(static_cast<std::size_t>(std::min<std::int32_t>(count, 4096)));
    for (std::int32_t i = 0; i < count; ++i)
    {
        T value{};
        if (!readOne(value))
            return false;
        out.push_back(value);
    }
    return true;
}

bool ReadPoints(std::istream& is, std::int32_t count, std::vector<QvPoint>& out)
{
    if (!qvio::CountFits(is, count, 24))
        return false;
    return ReadList(is, count, out, [&is](QvPoint& p) { return p.Read(is, true); });
}

bool ReadDoublesBinary(std::istream& is, std::int32_t count, std::vector<double>& out)
{
    if (!qvio::CountFits(is, count, 8))
        return false;
    return ReadList(is, count, out, [&is](double& v) { return qvio::ReadF64(is, v); });
}

// Each text value takes at least a digit and a line end.
bool ReadDoublesText(std::istream& is, std::int32_t count, std::vector<double>& out)
{
    if (!qvio::CountFits(is, count, 2))
        return false;
    return ReadList(is, count, out, [&is](double& v) { return static_cast<bool>(is >> v); });
}

bool ReadIntText(std::istream& is, std::int32_t& v) { return static_cast<bool>(is >> v); }

// One character: the line end after a count that binary point records follow.
bool SkipOne(std::istream& is) { return is.get() != std::char_traits<char>::eof(); }

// c(t) from the p+1 control points P of the span, with the basis values N.
inline QvPoint Combine(const double* N, const QvPoint* P, int p)
{
    QvPoint c;
    for (int j = 0; j <= p; ++j)
    {
        c.m_coord[0] += N[j] * P[j].m_coord[0];
        c.m_coord[1] += N[j] * P[j].m_coord[1];
        c.m_coord[2] += N[j] * P[j].m_coord[2];
    }
    return c;
}

// c(t) from the p+1 control points P of the span. Fixed > 0 is the degree as a constant (stack
// buffers, unrolled loops); 0 takes p at run time.
template <int Fixed>
inline QvPoint EvaluateKernel(const double* U, const QvPoint* P, int p, int span, double t)
{
    if constexpr (Fixed > 0)
    {
        double N[Fixed + 1];
        double work[2 * (Fixed + 1)];
        qvnurbs::BasisValues(U, Fixed, span, t, N, work);
        return Combine(N, P, Fixed);
    }
    else
    {
        qvnurbs::Scratch scratch;
        double* N = scratch.Get(3 * static_cast<std::size_t>(p + 1));
        qvnurbs::BasisValues(U, p, span, t, N, N + (p + 1));
        return Combine(N, P, p);
    }
}

// c(t) and D[0..nk-1] from the derivative table (rows of p+1).
inline void CombineDerivatives(const double* ders, const QvPoint* P, int p, int nk, QvPoint& c, QvVector* D)
{
    c = Combine(ders, P, p);
    for (int r = 1; r <= nk; ++r)
    {
        const double* row = ders + r * (p + 1);
        QvVector& d = D[r - 1];
        for (int j = 0; j <= p; ++j)
        {
            d.m_coord[0] += row[j] * P[j].m_coord[0];
            d.m_coord[1] += row[j] * P[j].m_coord[1];
            d.m_coord[2] += row[j] * P[j].m_coord[2];
        }
    }
}

// c(t) and D[0..nk-1], nk <= p, as EvaluateKernel.
template <int Fixed>
void DerivativesKernel(const double* U, const QvPoint* P, int p, int span, int nk, double t, QvPoint& c,
                       QvVector* D)
{
    if constexpr (Fixed > 0)
    {
        double ders[(Fixed + 1) * (Fixed + 1)];
        double work[qvnurbs::BasisWorkSize(Fixed)];
        qvnurbs::BasisDerivatives(U, Fixed, span, nk, t, ders, work);
        CombineDerivatives(ders, P, Fixed, nk, c, D);
    }
    else
    {
        const std::size_t P1 = static_cast<std::size_t>(p) + 1;
        const std::size_t rows = P1 * static_cast<std::size_t>(nk + 1);
        qvnurbs::Scratch scratch;
        double* ders = scratch.Get(rows + static_cast<std::size_t>(qvnurbs::BasisWorkSize(p)));
        qvnurbs::BasisDerivatives(U, p, span, nk, t, ders, ders + rows);
        CombineDerivatives(ders, P, p, nk, c, D);
    }
}

} // namespace

// ---------------------------------------------------------------- construction

QvBSplineCurve::QvBSplineCurve() : m_degree(3), m_closed(false) {}

QvBSplineCurve::QvBSplineCurve(const QvPoint& point, bool closed)
    : m_degree(3), m_ctrlPoints(4, point), m_closed(closed), m_dataPoints(4, point)
{
    m_knots.m_values = {0.0, 0.0, 0.0, 0.0, 1.0, 1.0, 1.0, 1.0};
    m_params = m_knots.m_values;
}

QvBSplineCurve::QvBSplineCurve(const std::vector<QvPoint>& dataPoints, std::int32_t p, bool closed)
    : m_degree(p), m_closed(closed), m_dataPoints(dataPoints)
{
}

QvBSplineCurve::QvBSplineCurve(const std::vector<double>& knots, const std::vector<QvPoint>& ctrlPoints,
                               std::int32_t p, bool closed)
    : m_degree(p), m_ctrlPoints(ctrlPoints), m_closed(closed)
{
    m_knots.m_values = knots;
}

QvBSplineCurve::QvBSplineCurve(const std::vector<QvPoint>& dataPoints, const std::vector<double>& knots,
                               const std::vector<QvPoint>& ctrlPoints, std::int32_t p, bool closed)
    : m_degree(p), m_ctrlPoints(ctrlPoints), m_closed(closed), m_dataPoints(dataPoints)
{
    m_knots.m_values = knots;
}

bool QvBSplineCurve::CanEvaluate() const
{
    const std::size_t nc = m_ctrlPoints.size();
    return m_degree >= 0 && nc >= static_cast<std::size_t>(m_degree) + 1 &&
           m_knots.m_values.size() == nc + static_cast<std::size_t>(m_degree) + 1;
}

double QvBSplineCurve::ClampToDomain(double t) const
{
    // Polynomial pieces extrapolate wildly: a parameter past an end (rounding gives
    // 1.0000000000000002) evaluates at that end. NaN stays NaN.
    const double lo = m_knots.m_values[static_cast<std::size_t>(m_degree)];
    const double hi = m_knots.m_values[m_ctrlPoints.size()];
    return t < lo ? lo : (t > hi ? hi : t);
}

void QvBSplineCurve::Allocate(std::int32_t p, std::int32_t n, bool withKnots)
{
    m_degree = p;
    m_ctrlPoints.assign(static_cast<std::size_t>(std::max(n, 0)), QvPoint());
    if (withKnots)
        m_knots.Resize(p + n + 1);
}

double QvBSplineCurve::GetParameter(std::int32_t i) const
{
    if (i < 0 || static_cast<std::size_t>(i) >= m_params.size())
        return 0.0;
    return m_params[static_cast<std::size_t>(i)];
}

// ---------------------------------------------------------------- evaluation

QvPoint QvBSplineCurve::Evaluate(double t) const
{
    if (!CanEvaluate())
        return QvPoint();
    t = ClampToDomain(t);
    const int span = m_knots.FindSpan(m_degree, t);
    const double* U = m_knots.m_values.data();
    const QvPoint* P = m_ctrlPoints.data() + (span - m_degree);
    // The cubic of nearly every curve gets a constant degree, so its loops unroll.
    if (m_degree == 3)
        return EvaluateKernel<3>(U, P, 3, span, t);
    return EvaluateKernel<0>(U, P, m_degree, span, t);
}

bool QvBSplineCurve::EvaluateDerivatives(std::int32_t k, QvPoint& c, QvVector* D, double t) const
{
    k = std::max(k, 0);
    c = QvPoint();
    for (int i = 0; i < k; ++i)
        D[i].SetZero();
    if (!CanEvaluate())
        return false;
    t = ClampToDomain(t);
    const int span = m_knots.FindSpan(m_degree, t);
    const double* U = m_knots.m_values.data();
    const QvPoint* P = m_ctrlPoints.data() + (span - m_degree);
    if (m_degree == 3)
        DerivativesKernel<3>(U, P, 3, span, std::min(k, 3), t, c, D);
    else
        DerivativesKernel<0>(U, P, m_degree, span, std::min(k, m_degree), t, c, D);
    return true;
}

bool QvBSplineCurve::EvaluateDerivatives(std::int32_t k, QvPoint& c, std::vector<QvVector>& D, double t) const
{
    D.assign(static_cast<std::size_t>(std::max(k, 0)), QvVector());
    return EvaluateDerivatives(k, c, D.data(), t);
}

bool QvBSplineCurve::GetFrame(QvFrame& frame, double t) const
{
    QvPoint c;
    QvVector d[2];
    const bool ok = EvaluateDerivatives(2, c, d, t);
    frame.m_centre = c;
    frame.SetAxes(d[0].Cross(d[1]), d[0]);
    return ok;
}

// ---------------------------------------------------------------- closest point

int QvBSplineCurve::StartParametersInto(const QvPoint& R, double starts[5]) const
{
    if (!CanEvaluate())
        return 0;
    const int p = m_degree;
    const int last = static_cast<int>(m_ctrlPoints.size()) - 1;
    const double* U = m_knots.m_values.data();
    double bestD[5];
    int count = 0;
    for (int i = p; i <= last; ++i)
    {
        const double a = U[i];
        const double b = U[i + 1];
        const double h = (b - a) / 6.0;
        double spanD = 1e10;
        double spanT = 1e10;
        for (int k = 0; k <= 5; ++k)
        {
            const double t = std::min(b, a + k * h);
            // Samples inside [a, b) are in span i; the search is for t = b (and empty spans) only.
            const int span = t < b ? i : m_knots.FindSpan(p, t);
            const QvPoint* P = m_ctrlPoints.data() + (span - p);
            const QvPoint c = p == 3 ? EvaluateKernel<3>(U, P, 3, span, t) : EvaluateKernel<0>(U, P, p, span, t);
            const double d = c.Distance(R);
            if (d < 1e10 && d < spanD)
            {
                spanD = d;
                spanT = t;
            }
        }
        // Keep the five nearest spans; an equal distance stays behind the earlier span.
        int at = count;
        while (at > 0 && bestD[at - 1] > spanD)
            --at;
        if (at >= 5)
            continue;
        for (int j = std::min(count, 4); j > at; --j)
        {
            bestD[j] = bestD[j - 1];
            starts[j] = starts[j - 1];
        }
        bestD[at] = spanD;
        starts[at] = spanT;
        count = std::min(count + 1, 5);
    }
    return count;
}

void QvBSplineCurve::StartParameters(const QvPoint& R, std::vector<double>& list) const
{
    double starts[5];
    const int count = StartParametersInto(R, starts);
    list.insert(list.end(), starts, starts + count);
}

bool QvBSplineCurve::ClosestPoint(const QvPoint& R, double& tOut, QvPoint& qOut, const double* start) const
{
    if (!CanEvaluate())
        return false;
    double starts[5];
    int count = 0;
    if (start)
    {
        starts[0] = *start;
        count = 1;
    }
    else
    {
        count = StartParametersInto(R, starts);
    }

    const double lo = m_knots[m_degree];
    const double hi = m_knots[static_cast<std::int32_t>(m_ctrlPoints.size())];
    const double range = hi - lo;
    double best = 1e16;
    bool found = false;
    for (int s = 0; s < count; ++s)
    {
        double t = starts[s];
        QvPoint c;
        double dist = 0.0;
        for (int iter = 0; iter < 5; ++iter)
        {
            QvVector d12[2];
            EvaluateDerivatives(2, c, d12, t);
            const QvVector& d1 = d12[0];
            const QvVector& d2 = d12[1];
            const QvVector d = c - R;
            dist = d.Length();
            if (dist <= 1e-7)
                break;
            const double f = d1.Dot(d);
            const double speed = d1.Length();
            if (std::fabs(f) / (dist * speed) <= kSinHalfDegree)
                break;
            double tn = t - f / (d1.SquaredLength() + d2.Dot(d));
            // A flat or inflected step gives no usable parameter: keep the last one.
            if (!std::isfinite(tn))
                break;
            if (m_closed && range > 0.0)
            {
                if (tn < lo - range || tn > hi + range)
                    tn = lo + std::fmod(tn - lo, range);
                while (tn < lo)
                    tn += range;
                while (tn > hi)
                    tn -= range;
            }
            else
            {
                tn = std::clamp(tn, lo, hi);
            }
            if (speed * std::fabs(tn - t) <= 1e-7)
            {
                t = tn;
                break;
            }
            // Out of iterations unconverged, the last step may land far from the point measured:
            // report that point's own parameter instead.
            if (iter < 4)
                t = tn;
        }
        if (dist < best)
        {
            best = dist;
            tOut = t;
            qOut = c;
            found = true;
        }
    }
    return found;
}

// ---------------------------------------------------------------- length and sampling

double QvBSplineCurve::ArcLength(bool isSigned, double t0, double t1) const
{
    const double lo = std::min(t0, t1);
    const double hi = std::max(t0, t1);
    if (!(lo < hi) || !CanEvaluate())
        return 0.0;
    const double* gx = nullptr;
    const double* gw = nullptr;
    const int ng = qvnurbs::GaussLegendreTable(7, &gx, &gw);

    auto piece = [&](double l, double r) {
        const double h = (r - l) / 2.0;
        const double m = (l + r) / 2.0;
        double sum = 0.0;
        for (int j = 0; j < ng; ++j)
        {
            QvPoint c;
            QvVector d1;
            EvaluateDerivatives(1, c, &d1, m + h * gx[j]);
            sum += gw[j] * d1.Length();
        }
        return h * sum;
    };

    double total = 0.0;
    double l = lo;
    for (double u : m_knots.m_values)
    {
        if (!(u < hi))
            break;
        if (u > lo)
        {
            total += piece(l, u);
            l = u;
        }
    }
    total += piece(l, hi);
    return (isSigned && t0 > t1) ? -total : total;
}

void QvBSplineCurve::GetMidPoint(QvPoint& Q, double& tOut) const
{
    double lo = 0.0;
    double hi = 1.0;
    if (CanEvaluate())
    {
        lo = m_knots[m_degree];
        hi = m_knots[static_cast<std::int32_t>(m_ctrlPoints.size())];
    }
    const double start = lo;
    const double target = ArcLength(true, lo, hi) / 2.0;
    double t = (lo + hi) / 2.0;
    for (int iter = 0; iter < 100; ++iter)
    {
        const double e = ArcLength(true, start, t) - target;
        if (std::fabs(e) <= 1e-5)
            break;
        if (e > 1e-5)
        {
            hi = t;
            t = (lo + t) / 2.0;
        }
        else
        {
            lo = t;
            t = (hi + t) / 2.0;
        }
    }
    tOut = t;
    Q = Evaluate(t);
}

void QvBSplineCurve::Sample(std::int32_t n, std::vector<QvPoint>& out, double t0, double t1) const
{
    if (n < 0)
        return;
    if (n == 0)
    {
        out.push_back(Evaluate(t0));
        return;
    }
    out.reserve(out.size() + static_cast<std::size_t>(n) + 1);
    for (std::int32_t i = 0; i <= n; ++i)
        out.push_back(Evaluate((t1 - t0) / n * i + t0));
}

// ---------------------------------------------------------------- rigid operations

void QvBSplineCurve::Transform(const QvMatrix& m)
{
    for (QvPoint& p : m_ctrlPoints)
        p = m * p;
    for (QvPoint& p : m_dataPoints)
        p = m * p;
}

QvBSplineCurve* QvBSplineCurve::ProjectToPlane(const QvPlane& plane) const
{
    QvBSplineCurve* result = new QvBSplineCurve(*this);
    for (QvPoint& p : result->m_ctrlPoints)
        p = plane.ProjectPoint(p);
    for (QvPoint& p : result->m_dataPoints)
        p = plane.ProjectPoint(p);
    return result;
}

void QvBSplineCurve::Reverse()
{
    std::reverse(m_ctrlPoints.begin(), m_ctrlPoints.end());
    // Mirror within [U[0], U[m-1]]: for clamped knots on [0, 1] this is 1 - U on the inner knots and
    // leaves the end knots as they are; it also keeps any other sorted vector sorted.
    std::vector<double>& U = m_knots.m_values;
    if (U.empty())
        return;
    const double sum = U.front() + U.back();
    std::vector<double> mirrored(U.size());
    for (std::size_t i = 0; i < U.size(); ++i)
        mirrored[i] = sum - U[U.size() - 1 - i];
    mirrored.front() = U.front();
    mirrored.back() = U.back();
    U.swap(mirrored);
}

// ---------------------------------------------------------------- stream form

std::ostream& QvBSplineCurve::Write(std::ostream& os, bool binary) const
{
    const auto nc = static_cast<std::int32_t>(m_ctrlPoints.size());
    const auto nk = static_cast<std::int32_t>(m_knots.m_values.size());
    const auto nd = static_cast<std::int32_t>(m_dataPoints.size());
    const auto np = static_cast<std::int32_t>(m_params.size());
    if (binary)
    {
        qvio::WriteI32(os, m_degree);
        qvio::WriteI32(os, nc);
        for (const QvPoint& p : m_ctrlPoints)
            p.Write(os, true);
        qvio::WriteI32(os, nk);
        for (double u : m_knots.m_values)
            qvio::WriteF64(os, u);
        qvio::WriteU8(os, m_closed ? 1 : 0);
        qvio::WriteI32(os, nd);
        for (const QvPoint& p : m_dataPoints)
            p.Write(os, true);
        qvio::WriteI32(os, np);
        for (double u : m_params)
            qvio::WriteF64(os, u);
        return os;
    }
    ClassicFormat format(os);
    os << m_degree << std::endl;
    os << nc << std::endl;
    for (const QvPoint& p : m_ctrlPoints)
        p.Write(os, true);
    os << nk << std::endl;
    for (double u : m_knots.m_values)
        os << u << std::endl;
    os << (m_closed ? 1 : 0) << std::endl;
    os << nd << std::endl;
    for (const QvPoint& p : m_dataPoints)
        p.Write(os, true);
    os << np << std::endl;
    for (double u : m_params)
        os << u << std::endl;
    return os;
}

bool QvBSplineCurve::Read(std::istream& is, bool binary)
{
    std::int32_t degree = 0;
    std::int32_t nc = -1;
    std::int32_t nk = -1;
    std::int32_t nd = -1;
    std::int32_t np = -1;
    std::vector<QvPoint> ctrl;
    std::vector<double> knots;
    std::vector<QvPoint> data;
    std::vector<double> params;
    bool closed = false;

    if (binary)
    {
        std::uint8_t flag = 0;
        if (!qvio::ReadI32(is, degree) || !qvio::ReadI32(is, nc) || !ReadPoints(is, nc, ctrl) ||
            !qvio::ReadI32(is, nk) || !ReadDoublesBinary(is, nk, knots) || !qvio::ReadU8(is, flag) || flag > 1 ||
            !qvio::ReadI32(is, nd) || !ReadPoints(is, nd, data) || !qvio::ReadI32(is, np) ||
            !ReadDoublesBinary(is, np, params))
            return false;
        closed = flag == 1;
    }
    else
    {
        ClassicFormat format(is);
        std::int32_t flag = -1;
        if (!ReadIntText(is, degree) || !SkipOne(is) || !ReadIntText(is, nc) || !SkipOne(is) ||
            !ReadPoints(is, nc, ctrl) || !ReadIntText(is, nk) || !ReadDoublesText(is, nk, knots) ||
            !ReadIntText(is, flag) || (flag != 0 && flag != 1) || !ReadIntText(is, nd) || !SkipOne(is) ||
            !ReadPoints(is, nd, data) || !ReadIntText(is, np) || !ReadDoublesText(is, np, params))
            return false;
        closed = flag == 1;
    }

    // A curve that evaluation could not walk is not a curve: either empty, or p+1 more knots than
    // control points, at least p+1 control points, finite knots in order.
    if (degree < 0)
        return false;
    if (nc != 0 || nk != 0)
    {
        if (static_cast<std::int64_t>(nc) < static_cast<std::int64_t>(degree) + 1 ||
            static_cast<std::int64_t>(nk) != static_cast<std::int64_t>(nc) + degree + 1)
            return false;
        if (!std::isfinite(knots.front()))
            return false;
        for (std::size_t i = 1; i < knots.size(); ++i)
            if (!(knots[i] >= knots[i - 1]) || !std::isfinite(knots[i]))
                return false;
    }

    m_degree = degree;
    m_ctrlPoints.swap(ctrl);
    m_knots.m_values.swap(knots);
    m_closed = closed;
    m_dataPoints.swap(data);
    m_params.swap(params);
    return true;
}
