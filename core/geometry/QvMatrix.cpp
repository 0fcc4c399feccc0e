// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/geometry/QvMatrix.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "core/geometry/QvStreamIO.h"

namespace {

// Pivoted LU and its substitution treat anything below this as zero.
constexpr double kPivotTiny = 1e-10;
// The unpivoted factorisation and its solves.
constexpr double kNoPivotTiny = 1e-9;
constexpr double kJacobiTolerance = 1e-6;
constexpr int kJacobiMaxRotations = 60;

std::int64_t ElementCount(std::int32_t rows, std::int32_t cols)
{
    return static_cast<std::int64_t>(rows) * static_cast<std::int64_t>(cols);
}

} // namespace

QvMatrix::QvMatrix() : m_row(0), m_col(0), m_pData(nullptr), m_ppData(nullptr) {}

QvMatrix::QvMatrix(std::int32_t rows, std::int32_t cols) : QvMatrix() { Create(rows, cols); }

QvMatrix::QvMatrix(const QvMatrix& other) : QvMatrix() { Create(other.m_row, other.m_col, other.m_pData); }

QvMatrix& QvMatrix::operator=(const QvMatrix& other)
{
    if (this != &other)
        Create(other.m_row, other.m_col, other.m_pData);
    return *this;
}

QvMatrix::QvMatrix(const QvVector& axis, double angle) : QvMatrix(3, 3)
{
    if (axis.IsZero())
    {
        SetIdentity();
        return;
    }
    QvVector n = axis;
    n.Normalize();
    const double x = n[0], y = n[1], z = n[2];
    const double c = std::cos(angle);
    const double s = std::sin(angle);
    const double t = 1.0 - c;
    double* r0 = m_ppData[0];
    double* r1 = m_ppData[1];
    double* r2 = m_ppData[2];
    r0[0] = t * x * x + c;
    r0[1] = t * x * y - s * z;
    r0[2] = t * x * z + s * y;
    r1[0] = t * x * y + s * z;
    r1[1] = t * y * y + c;
    r1[2] = t * y * z - s * x;
    r2[0] = t * x * z - s * y;
    r2[1] = t * y * z + s * x;
    r2[2] = t * z * z + c;
}

QvMatrix::QvMatrix(const QvVector& from, const QvVector& to) : QvMatrix()
{
    const QvVector axis = from.Cross(to);
    if (axis.IsZero())
    {
        Create(3, 3);
        SetIdentity();
        // Anti-parallel: a reflection of z, which is what placements built on it expect.
        if (from.Dot(to) < 0.0)
            m_ppData[2][2] = -1.0;
        return;
    }
    *this = QvMatrix(axis, from.Angle(to));
}

QvMatrix::~QvMatrix() { Release(); }

void QvMatrix::Release()
{
    delete[] m_ppData;
    delete[] m_pData;
    m_ppData = nullptr;
    m_pData = nullptr;
}

void QvMatrix::Create(std::int32_t rows, std::int32_t cols, const double* data)
{
    rows = std::max<std::int32_t>(rows, 0);
    cols = std::max<std::int32_t>(cols, 0);
    // A matrix without elements keeps no storage, so that no stored row count can
    // make it allocate row pointers for nothing.
    double* newData = nullptr;
    double** newRows = nullptr;
    const std::int64_t count = ElementCount(rows, cols);
    if (count > 0)
    {
        newData = new double[static_cast<std::size_t>(count)];
        try
        {
            newRows = new double*[static_cast<std::size_t>(rows)];
        }
        catch (...)
        {
            delete[] newData;
            throw;
        }
        if (data)
            std::memcpy(newData, data, static_cast<std::size_t>(count) * sizeof(double));
        else
            std::fill(newData, newData + count, 0.0);
        for (std::int32_t i = 0; i < rows; ++i)
            newRows[i] = newData + static_cast<std::int64_t>(i) * cols;
    }
    Release();
    m_pData = newData;
    m_ppData = newRows;
    m_row = rows;
    m_col = cols;
}

QvMatrix QvMatrix::operator+(const QvMatrix& other) const
{
    QvMatrix sum(m_row, m_col);
    for (std::int32_t i = 0; i < m_row; ++i)
        for (std::int32_t j = 0; j < m_col; ++j)
            sum.m_ppData[i][j] = m_ppData[i][j] + other.m_ppData[i][j];
    return sum;
}

QvMatrix QvMatrix::operator*(const QvMatrix& other) const
{
    if (m_col != other.m_row)
        return QvMatrix();
    QvMatrix product(m_row, other.m_col);
    for (std::int32_t i = 0; i < m_row; ++i)
        for (std::int32_t j = 0; j < other.m_col; ++j)
        {
            double s = 0.0;
            for (std::int32_t k = 0; k < m_col; ++k)
                s += m_ppData[i][k] * other.m_ppData[k][j];
            product.m_ppData[i][j] = s;
        }
    return product;
}

void QvMatrix::SetIdentity()
{
    const std::int64_t count = ElementCount(m_row, m_col);
    std::fill(m_pData, m_pData + count, 0.0);
    const std::int32_t n = std::min(m_row, m_col);
    for (std::int32_t i = 0; i < n; ++i)
        m_ppData[i][i] = 1.0;
}

bool QvMatrix::IsIdentity() const
{
    for (std::int32_t i = 0; i < m_row; ++i)
        for (std::int32_t j = 0; j < m_col; ++j)
        {
            const double v = m_ppData[i][j];
            if (i == j ? v != 1.0 : !(std::fabs(v) <= 1e-9))
                return false;
        }
    return true;
}

void QvMatrix::Transpose()
{
    QvMatrix t(m_col, m_row);
    for (std::int32_t i = 0; i < m_row; ++i)
        for (std::int32_t j = 0; j < m_col; ++j)
            t.m_ppData[j][i] = m_ppData[i][j];
    // Keep the sizes even when there are no elements to move.
    std::swap(m_pData, t.m_pData);
    std::swap(m_ppData, t.m_ppData);
    std::swap(m_row, t.m_row);
    std::swap(m_col, t.m_col);
}

std::ostream& QvMatrix::Write(std::ostream& os) const
{
    qvio::WriteI32(os, m_row);
    qvio::WriteI32(os, m_col);
    const std::int64_t count = ElementCount(m_row, m_col);
    for (std::int64_t i = 0; i < count; ++i)
        qvio::WriteF64(os, m_pData[i]);
    return os;
}

bool QvMatrix::Read(std::istream& is)
{
    std::int32_t rows = 0, cols = 0;
    if (!qvio::ReadI32(is, rows) || !qvio::ReadI32(is, cols))
        return false;
    if (rows < 0 || cols < 0 || !qvio::CountFits(is, ElementCount(rows, cols), sizeof(double)))
    {
        is.setstate(std::ios::failbit);
        return false;
    }
    QvMatrix tmp(rows, cols);
    const std::int64_t count = ElementCount(rows, cols);
    for (std::int64_t i = 0; i < count; ++i)
        if (!qvio::ReadF64(is, tmp.m_pData[i]))
            return false;
    std::swap(m_pData, tmp.m_pData);
    std::swap(m_ppData, tmp.m_ppData);
    std::swap(m_row, tmp.m_row);
    std::swap(m_col, tmp.m_col);
    return true;
}

bool QvMatrix::LUDecompose(std::vector<int>& pivots)
{
    if (m_row != m_col)
        return false;
    const int n = m_row;
    if (static_cast<int>(pivots.size()) < n)
        pivots.resize(static_cast<std::size_t>(n));

    // Implicit scaling: every row is judged relative to its own largest element.
    std::vector<double> scale(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
    {
        double big = 0.0;
        for (int j = 0; j < n; ++j)
            big = std::max(big, std::fabs(m_ppData[i][j]));
        if (big < kPivotTiny)
            return false;
        scale[i] = 1.0 / big;
    }

    double** a = m_ppData;
    for (int j = 0; j < n; ++j)
    {
        for (int i = 0; i < j; ++i)
        {
            double sum = a[i][j];
            for (int k = 0; k < i; ++k)
                sum -= a[i][k] * a[k][j];
            a[i][j] = sum;
        }
        double best = 0.0;
        int p = j;
        for (int i = j; i < n; ++i)
        {
            double sum = a[i][j];
            for (int k = 0; k < j; ++k)
                sum -= a[i][k] * a[k][j];
            a[i][j] = sum;
            const double figure = scale[i] * std::fabs(sum);
            if (figure >= best) // ties go to the later row
            {
                best = figure;
                p = i;
            }
        }
        if (p != j)
        {
            std::swap_ranges(a[p], a[p] + n, a[j]);
            scale[p] = scale[j];
        }
        pivots[j] = p;
        if (std::fabs(a[j][j]) < kPivotTiny)
            return false;
        if (j != n - 1)
        {
            const double inv = 1.0 / a[j][j];
            for (int i = j + 1; i < n; ++i)
                a[i][j] *= inv;
        }
    }
    return true;
}

namespace {

// Forward and backward substitution of one right-hand side read through get/set,
// so that the point form can run it per coordinate.
template <typename Get, typename Set>
void BackSubstitute(const double* const* a, int n, const std::vector<int>& pivots, Get get, Set set)
{
    int first = -1;
    for (int i = 0; i < n; ++i)
    {
        const int p = pivots[i];
        double sum = get(p);
        set(p, get(i));
        if (first >= 0)
        {
            for (int k = first; k < i; ++k)
                sum -= a[i][k] * get(k);
        }
        else if (std::fabs(sum) > kPivotTiny)
        {
            first = i;
        }
        set(i, sum);
    }
    for (int i = n - 1; i >= 0; --i)
    {
        double sum = get(i);
        for (int k = i + 1; k < n; ++k)
            sum -= a[i][k] * get(k);
        set(i, sum / a[i][i]);
    }
}

bool PivotsUsable(const std::vector<int>& pivots, int n)
{
    if (static_cast<int>(pivots.size()) < n)
        return false;
    for (int i = 0; i < n; ++i)
        if (pivots[i] < 0 || pivots[i] >= n)
            return false;
    return true;
}

} // namespace

bool QvMatrix::LUBackSubstitute(const std::vector<int>& pivots, double* b) const
{
    if (m_row != m_col || !PivotsUsable(pivots, m_row))
        return false;
    BackSubstitute(
        m_ppData, m_row, pivots, [b](int i) { return b[i]; }, [b](int i, double v) { b[i] = v; });
    return true;
}

bool QvMatrix::LUBackSubstitutePoints(const std::vector<int>& pivots, std::vector<QvPoint>& b) const
{
    if (m_row != m_col || !PivotsUsable(pivots, m_row) || static_cast<std::int64_t>(b.size()) < m_row)
        return false;
    for (int c = 0; c < 3; ++c)
        BackSubstitute(
            m_ppData, m_row, pivots, [&b, c](int i) { return b[i][c]; },
            [&b, c](int i, double v) { b[i][c] = v; });
    return true;
}

bool QvMatrix::Invert()
{
    if (m_row != m_col)
        return false;
    const int n = m_row;
    QvMatrix lu(*this);
    std::vector<int> pivots(static_cast<std::size_t>(n));
    if (!lu.LUDecompose(pivots))
        return false;
    std::vector<double> column(static_cast<std::size_t>(n));
    for (int c = 0; c < n; ++c)
    {
        std::fill(column.begin(), column.end(), 0.0);
        column[c] = 1.0;
        if (!lu.LUBackSubstitute(pivots, column.data()))
            return false;
        for (int r = 0; r < n; ++r)
            m_ppData[r][c] = column[r];
    }
    return true;
}

bool QvMatrix::LUDecomposeNoPivot()
{
    if (m_row != m_col)
        return false;
    const int n = m_row;
    double** a = m_ppData;
    for (int i = 0; i < n; ++i)
    {
        for (int j = i; j < n; ++j)
        {
            double sum = a[i][j];
            for (int k = 0; k < i; ++k)
                sum -= a[i][k] * a[k][j];
            a[i][j] = sum;
        }
        for (int r = i + 1; r < n; ++r)
        {
            if (std::fabs(a[i][i]) < kNoPivotTiny)
                return false;
            double sum = a[r][i];
            for (int k = 0; k < i; ++k)
                sum -= a[r][k] * a[k][i];
            a[r][i] = sum / a[i][i];
        }
    }
    return true;
}

namespace {

template <typename GetB, typename GetX, typename SetX>
bool SolveUnpivoted(const double* const* a, int n, GetB b, GetX x, SetX setX)
{
    for (int i = 0; i < n; ++i)
    {
        double sum = b(i);
        for (int k = 0; k < i; ++k)
            sum -= a[i][k] * x(k);
        setX(i, sum);
    }
    for (int i = n - 1; i >= 0; --i)
    {
        if (std::fabs(a[i][i]) < kNoPivotTiny)
            return false;
        double sum = x(i);
        for (int k = i + 1; k < n; ++k)
            sum -= a[i][k] * x(k);
        setX(i, sum / a[i][i]);
    }
    return true;
}

} // namespace

bool QvMatrix::LUSolve(const double* b, double* x) const
{
    if (m_row != m_col)
        return false;
    return SolveUnpivoted(
        m_ppData, m_row, [b](int i) { return b[i]; }, [x](int i) { return x[i]; },
        [x](int i, double v) { x[i] = v; });
}

bool QvMatrix::LUSolvePoints(const std::vector<QvPoint>& b, std::vector<QvPoint>& x) const
{
    if (m_row != m_col || static_cast<std::int64_t>(b.size()) < m_row ||
        static_cast<std::int64_t>(x.size()) < m_row)
        return false;
    for (int c = 0; c < 3; ++c)
    {
        const bool ok = SolveUnpivoted(
            m_ppData, m_row, [&b, c](int i) { return b[i][c]; }, [&x, c](int i) { return x[i][c]; },
            [&x, c](int i, double v) { x[i][c] = v; });
        if (!ok)
            return false;
    }
    return true;
}

QvMatrix* QvMatrix::TransposeTimesSelf(const int* firstRow, const int* lastRow, double* maxAbs) const
{
    const int m = m_row;
    const int n = m_col;
    auto first = [&](int col) { return firstRow ? std::max(firstRow[col], 0) : 0; };
    auto last = [&](int col) { return lastRow ? std::min(lastRow[col], m - 1) : m - 1; };

    QvMatrix* r = new QvMatrix(n, n);
    double largest = 0.0;
    for (int i = 0; i < n; ++i)
        for (int j = i; j < n; ++j)
        {
            const int lo = std::max(first(i), first(j));
            const int hi = std::min(last(i), last(j));
            double s = 0.0;
            for (int k = lo; k <= hi; ++k)
                s += m_ppData[k][i] * m_ppData[k][j];
            r->m_ppData[i][j] = s;
            r->m_ppData[j][i] = s;
            largest = std::max(largest, std::fabs(s));
        }
    if (maxAbs)
        *maxAbs = largest;
    return r;
}

namespace {

// Rotates a (n x n, destroyed) towards diagonal, accumulating the rotations in v (identity on entry).
// Rows are row pointers or fixed arrays; kSize, when not 0, is n known at compile time.
template <int kSize, typename Rows>
bool JacobiRotate(Rows a, Rows v, int size, double* eigenvalues)
{
    const int n = kSize > 0 ? kSize : size;
    for (int search = 1;; ++search)
    {
        double best = 0.0;
        int b = 0, c = 0;
        for (int i = 1; i < n; ++i)
            for (int j = 0; j < i; ++j)
                if (std::fabs(a[i][j]) > best)
                {
                    best = std::fabs(a[i][j]);
                    b = i;
                    c = j;
                }
        if (best < kJacobiTolerance)
            break;
        if (search > kJacobiMaxRotations)
            return false;

        const double e = a[b][c];
        const double h = (a[c][c] - a[b][b]) * 0.5;
        double o = e / std::sqrt(h * h + e * e);
        if (h >= 0.0)
            o = -o;
        const double s = o / std::sqrt(2.0 * (1.0 + std::sqrt(1.0 - o * o)));
        const double u = std::sqrt(1.0 - s * s);

        const double abb = a[b][b];
        const double acc = a[c][c];
        a[b][b] = acc * s * s + abb * u * u + e * o;
        a[c][c] = acc * u * u + abb * s * s - e * o;
        a[b][c] = 0.0;
        a[c][b] = 0.0;

        for (int k = 0; k < n; ++k)
        {
            if (k == b || k == c)
                continue;
            const double rb = a[b][k];
            a[b][k] = a[c][k] * s + u * rb;
            a[c][k] = a[c][k] * u - rb * s;
        }
        for (int k = 0; k < n; ++k)
        {
            if (k == b || k == c)
                continue;
            const double cb = a[k][b];
            a[k][b] = a[k][c] * s + u * cb;
            a[k][c] = a[k][c] * u - cb * s;
        }
        for (int k = 0; k < n; ++k)
        {
            const double vb = v[k][b];
            v[k][b] = v[k][c] * s + u * vb;
            v[k][c] = v[k][c] * u - vb * s;
        }
    }
    for (int k = 0; k < n; ++k)
        eigenvalues[k] = a[k][k];
    return true;
}

} // namespace

bool QvMatrix::JacobiEigen(double* eigenvalues, QvMatrix& eigenvectors)
{
    const int n = m_col;
    if (m_row < n)
        return false;
    if (eigenvectors.m_row != n || eigenvectors.m_col != n)
        eigenvectors.Create(n, n);
    eigenvectors.SetIdentity();
    return JacobiRotate<0, double* const*>(m_ppData, eigenvectors.m_ppData, n, eigenvalues);
}

bool QvMatrix::JacobiEigen3(double a[3][3], double eigenvalues[3], double eigenvectors[3][3])
{
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            eigenvectors[i][j] = i == j ? 1.0 : 0.0;
    return JacobiRotate<3, double(*)[3]>(a, eigenvectors, 3, eigenvalues);
}

void QvMatrix::ToGLMatrix(double out[16]) const
{
    std::fill(out, out + 16, 0.0);
    const int rows = std::min(m_row, 4);
    const int cols = std::min(m_col, 4);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c)
            out[4 * c + r] = m_ppData[r][c];
}

void QvMatrix::ToGLMatrixPadded(double out[16]) const
{
    ToGLMatrix(out);
    out[15] = 1.0;
}

void QvMatrix::ToGLMatrixFloat(float out[16]) const
{
    double d[16];
    ToGLMatrixPadded(d);
    for (int i = 0; i < 16; ++i)
        out[i] = static_cast<float>(d[i]);
}

QvPoint operator*(const QvMatrix& m, const QvPoint& p)
{
    const bool rotates = m.m_row == 3 && m.m_col >= 3;
    const bool places = m.m_row == 4 && m.m_col >= 4;
    if (!rotates && !places)
        return QvPoint(0.0, 0.0, 0.0);
    QvPoint q;
    for (int i = 0; i < 3; ++i)
    {
        const double* r = m[i];
        double s = r[0] * p[0] + r[1] * p[1] + r[2] * p[2];
        if (places)
            s += r[3];
        q[i] = s;
    }
    return q;
}

QvVector operator*(const QvMatrix& m, const QvVector& v)
{
    if (m.m_row < 3 || m.m_col < 3)
        return QvVector(0.0, 0.0, 0.0);
    QvVector w;
    for (int i = 0; i < 3; ++i)
    {
        const double* r = m[i];
        w[i] = r[0] * v[0] + r[1] * v[1] + r[2] * v[2];
    }
    return w;
}
