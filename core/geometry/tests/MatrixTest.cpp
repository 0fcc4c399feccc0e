// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <Eigen/Dense>
#include <cmath>
#include <cstring>
#include <memory>
#include <sstream>
#include <vector>

#include "core/geometry/QvMatrix.h"
#include "core/geometry/QvStreamIO.h"
#include "testing/ByteSweep.h"
#include "testing/PointSets.h"

namespace {

const double kPi = std::acos(-1.0);

QvMatrix Make(int rows, int cols, std::initializer_list<double> values)
{
    std::vector<double> v(values);
    QvMatrix m;
    m.Create(rows, cols, v.data());
    return m;
}

void ExpectNear(const QvMatrix& m, const std::vector<double>& v, double tol)
{
    ASSERT_EQ(static_cast<std::size_t>(m.m_row * m.m_col), v.size());
    for (int i = 0; i < m.m_row; ++i)
        for (int j = 0; j < m.m_col; ++j)
            EXPECT_NEAR(m[i][j], v[i * m.m_col + j], tol) << "element (" << i << ", " << j << ")";
}

bool SameElements(const QvMatrix& a, const QvMatrix& b)
{
    if (a.m_row != b.m_row || a.m_col != b.m_col)
        return false;
    for (int i = 0; i < a.m_row; ++i)
        for (int j = 0; j < a.m_col; ++j)
            if (std::memcmp(&a[i][j], &b[i][j], sizeof(double)) != 0)
                return false;
    return true;
}

Eigen::MatrixXd ToEigen(const QvMatrix& m)
{
    Eigen::MatrixXd e(m.m_row, m.m_col);
    for (int i = 0; i < m.m_row; ++i)
        for (int j = 0; j < m.m_col; ++j)
            e(i, j) = m[i][j];
    return e;
}

QvMatrix RandomMatrix(int rows, int cols, qvtest::Rng& rng, double diagonalBoost = 0.0)
{
    QvMatrix m(rows, cols);
    for (int i = 0; i < rows; ++i)
        for (int j = 0; j < cols; ++j)
            m[i][j] = qvtest::Uniform(rng, -1.0, 1.0) + (i == j ? diagonalBoost : 0.0);
    return m;
}

TEST(MatrixStorage, SizingCopiesAndRowPointers)
{
    QvMatrix empty;
    EXPECT_EQ(empty.m_pData, nullptr);
    EXPECT_EQ(empty.m_ppData, nullptr);

    QvMatrix m(2, 3);
    for (int i = 0; i < 2; ++i)
    {
        EXPECT_EQ(m.m_ppData[i], m.m_pData + i * 3);
        for (int j = 0; j < 3; ++j)
            EXPECT_EQ(m[i][j], 0.0);
    }
    const double data[6] = {1, 2, 3, 4, 5, 6};
    m.Create(3, 2, data);
    EXPECT_EQ(m[2][1], 6.0);
    EXPECT_EQ(m[1][0], 3.0);

    QvMatrix copy(m);
    copy[0][0] = 9.0;
    EXPECT_EQ(m[0][0], 1.0) << "copies are deep";
    QvMatrix& self = m;
    m = self;
    EXPECT_EQ(m[2][1], 6.0);

    m.Transpose();
    EXPECT_EQ(m.m_row, 2);
    EXPECT_EQ(m.m_col, 3);
    ExpectNear(m, {1, 3, 5, 2, 4, 6}, 0.0);
    EXPECT_EQ(m.m_ppData[1], m.m_pData + 3);

    const QvMatrix sum = Make(2, 2, {1, 2, 3, 4}) + Make(3, 3, {10, 20, 30, 40, 50, 60, 70, 80, 90});
    ExpectNear(sum, {11, 22, 43, 54}, 0.0);

    const QvMatrix product = Make(2, 3, {1, 2, 3, 4, 5, 6}) * Make(3, 1, {1, 0, -1});
    ExpectNear(product, {-2, -2}, 0.0);

    QvMatrix id(3, 3);
    id[0][1] = 7.0;
    id.SetIdentity();
    EXPECT_TRUE(id.IsIdentity());
}

TEST(MatrixStorage, IdentityTestIsExactOnTheDiagonal)
{
    struct Case
    {
        int row, col;
        double value;
        bool identity;
    } cases[] = {
        {0, 1, 1e-9, true},     {2, 0, -1e-9, true},  {0, 1, 1.0000001e-9, false},
        {1, 1, 1 + 1e-15, false}, {2, 2, 1 - 1e-16, false}, {1, 2, std::nan(""), false},
    };
    for (const Case& c : cases)
    {
        QvMatrix m(3, 3);
        m.SetIdentity();
        m[c.row][c.col] = c.value;
        EXPECT_EQ(m.IsIdentity(), c.identity) << c.row << ", " << c.col << " = " << c.value;
    }
}

TEST(MatrixRotation, AboutAnAxis)
{
    const QvMatrix quarter(QvVector(0, 0, 1), kPi / 2);
    const QvPoint p = quarter * QvPoint(1, 0, 0);
    EXPECT_NEAR(p[0], 0.0, 1e-15);
    EXPECT_NEAR(p[1], 1.0, 1e-15);
    EXPECT_NEAR(p[2], 0.0, 1e-15);

    const QvMatrix tiny(QvVector(0, 0, 5e-8), 1.0);
    EXPECT_TRUE(tiny.IsIdentity());

    // The axis length does not matter, and every result is a proper rotation.
    const QvMatrix r(QvVector(2, -1, 3), 0.7);
    const QvMatrix same(QvVector(0.2, -0.1, 0.3), 0.7);
    const Eigen::Matrix3d e = ToEigen(r);
    EXPECT_TRUE(e.isApprox(ToEigen(same), 1e-15));
    EXPECT_TRUE((e * e.transpose()).isIdentity(1e-14));
    EXPECT_NEAR(e.determinant(), 1.0, 1e-14);
    const Eigen::Matrix3d oracle =
        Eigen::AngleAxisd(0.7, Eigen::Vector3d(2, -1, 3).normalized()).toRotationMatrix();
    EXPECT_TRUE(e.isApprox(oracle, 1e-14));
}

TEST(MatrixRotation, FromOneVectorToAnother)
{
    struct Case
    {
        QvVector from, to;
        std::vector<double> expected;
    } cases[] = {
        {{0, 0, -1}, {0, 0, 1}, {1, 0, 0, 0, 1, 0, 0, 0, -1}},
        {{0, 0, 1}, {0, 0, -3}, {1, 0, 0, 0, 1, 0, 0, 0, -1}},
        {{1, 0, 0}, {2, 0, 0}, {1, 0, 0, 0, 1, 0, 0, 0, 1}},
        {{1, 0, 0}, {0, 1, 0}, {0, -1, 0, 1, 0, 0, 0, 0, 1}},
    };
    for (const Case& c : cases)
    {
        const QvMatrix m(c.from, c.to);
        ExpectNear(m, c.expected, 1e-15);
    }

    // A general pair: the from direction is carried onto the to direction.
    const QvVector from(1, 2, -0.5), to(-3, 0.25, 1);
    const QvMatrix m(from, to);
    QvVector turned = m * from;
    turned.Normalize();
    QvVector target = to;
    target.Normalize();
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(turned[i], target[i], 1e-14);
}

TEST(MatrixTransforms, PointsTranslateOnlyByFourRows)
{
    QvMatrix place(4, 4);
    place.SetIdentity();
    place[0][3] = 1;
    place[1][3] = 2;
    place[2][3] = 3;
    place[3][0] = 99; // the last row is never used
    const QvPoint moved = place * QvPoint(0, 0, 0);
    EXPECT_EQ(moved[0], 1.0);
    EXPECT_EQ(moved[1], 2.0);
    EXPECT_EQ(moved[2], 3.0);
    const QvVector v = place * QvVector(0.5, -2, 7);
    EXPECT_EQ(v[0], 0.5);
    EXPECT_EQ(v[1], -2.0);
    EXPECT_EQ(v[2], 7.0);

    const QvMatrix rot = Make(3, 3, {0, -1, 0, 1, 0, 0, 0, 0, 1});
    const QvPoint r = rot * QvPoint(1, 2, 3);
    EXPECT_EQ(r[0], -2.0);
    EXPECT_EQ(r[1], 1.0);
    EXPECT_EQ(r[2], 3.0);

    for (int n : {0, 2, 5})
    {
        QvMatrix other(n, n);
        other.SetIdentity();
        const QvPoint z = other * QvPoint(4, 5, 6);
        EXPECT_EQ(z[0], 0.0) << n;
        EXPECT_EQ(z[1], 0.0) << n;
        EXPECT_EQ(z[2], 0.0) << n;
    }
    // Vectors take the upper-left block of any matrix large enough.
    QvMatrix big(5, 5);
    big.SetIdentity();
    big[0][4] = 8;
    const QvVector w = big * QvVector(1, 2, 3);
    EXPECT_EQ(w[0], 1.0);
}

TEST(MatrixPivotedLU, RowScalingPivotsAndRefusals)
{
    QvMatrix zeroRow = Make(3, 3, {1, 2, 3, 0, 0, 0, 4, 5, 6});
    const QvMatrix before = zeroRow;
    std::vector<int> pivots(3, -7);
    EXPECT_FALSE(zeroRow.LUDecompose(pivots));
    EXPECT_TRUE(SameElements(zeroRow, before)) << "an all-zero row is refused before any change";

    QvMatrix swap = Make(2, 2, {0, 1, 1, 0});
    pivots.assign(2, -1);
    ASSERT_TRUE(swap.LUDecompose(pivots));
    EXPECT_EQ(pivots, (std::vector<int>{1, 1}));

    // Equal scaled figures in the first column: the later row wins.
    QvMatrix tie = Make(2, 2, {1, 0, 1, 1});
    pivots.assign(2, -1);
    ASSERT_TRUE(tie.LUDecompose(pivots));
    EXPECT_EQ(pivots[0], 1);
    double b[2] = {1, 3};
    ASSERT_TRUE(tie.LUBackSubstitute(pivots, b));
    EXPECT_DOUBLE_EQ(b[0], 1.0);
    EXPECT_DOUBLE_EQ(b[1], 2.0);

    // Implicit scaling: the small first row is relatively the better pivot.
    QvMatrix scaled = Make(2, 2, {1e-3, 1e-3 * 2, 5, 1e6});
    pivots.assign(2, -1);
    ASSERT_TRUE(scaled.LUDecompose(pivots));
    EXPECT_EQ(pivots[0], 0);

    QvMatrix singular = Make(2, 2, {1, 1, 1, 1});
    pivots.assign(2, -1);
    EXPECT_FALSE(singular.LUDecompose(pivots));

    QvMatrix notSquare(2, 3);
    EXPECT_FALSE(notSquare.LUDecompose(pivots));
    double rhs[2] = {0, 0};
    EXPECT_FALSE(notSquare.LUBackSubstitute(pivots, rhs));
}

TEST(MatrixPivotedLU, SolvesAgainstEigen)
{
    qvtest::Rng rng(17);
    for (int n : {1, 3, 7, 20})
    {
        const QvMatrix a = RandomMatrix(n, n, rng, 2.0);
        QvMatrix lu = a;
        std::vector<int> pivots(static_cast<std::size_t>(n));
        ASSERT_TRUE(lu.LUDecompose(pivots));

        std::vector<double> b(static_cast<std::size_t>(n));
        std::vector<QvPoint> pts(static_cast<std::size_t>(n));
        Eigen::MatrixXd rhs(n, 3);
        for (int i = 0; i < n; ++i)
        {
            pts[i] = QvPoint(qvtest::Uniform(rng, -5, 5), qvtest::Uniform(rng, -5, 5), qvtest::Uniform(rng, -5, 5));
            b[i] = pts[i][1];
            for (int c = 0; c < 3; ++c)
                rhs(i, c) = pts[i][c];
        }
        const Eigen::MatrixXd oracle = ToEigen(a).partialPivLu().solve(rhs);
        ASSERT_TRUE(lu.LUBackSubstitute(pivots, b.data()));
        ASSERT_TRUE(lu.LUBackSubstitutePoints(pivots, pts));
        for (int i = 0; i < n; ++i)
        {
            EXPECT_NEAR(b[i], oracle(i, 1), 1e-12) << n;
            for (int c = 0; c < 3; ++c)
                EXPECT_NEAR(pts[i][c], oracle(i, c), 1e-12) << n;
        }
    }
}

TEST(MatrixInvert, SmallCasesAndFailureLeavesMatrix)
{
    QvMatrix d = Make(2, 2, {2, 0, 0, 4});
    ASSERT_TRUE(d.Invert());
    ExpectNear(d, {0.5, 0, 0, 0.25}, 0.0);

    struct Case
    {
        QvMatrix m;
    } refused[] = {
        {Make(2, 2, {1, 2, 2, 4})},
        {Make(3, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9})},
        {Make(2, 2, {0, 0, 0, 0})},
        {QvMatrix(2, 3)},
    };
    for (Case& c : refused)
    {
        const QvMatrix before = c.m;
        EXPECT_FALSE(c.m.Invert());
        EXPECT_TRUE(SameElements(c.m, before));
    }

    QvMatrix empty;
    EXPECT_TRUE(empty.Invert());
    EXPECT_EQ(empty.m_row, 0);
}

TEST(MatrixInvert, RandomWellConditionedFourByFourMatchEigen)
{
    qvtest::Rng rng(4);
    for (int trial = 0; trial < 200; ++trial)
    {
        QvMatrix m = RandomMatrix(4, 4, rng, 3.0);
        const Eigen::Matrix4d oracle = ToEigen(m).inverse();
        ASSERT_TRUE(m.Invert());
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j)
                ASSERT_NEAR(m[i][j], oracle(i, j), 1e-12) << "trial " << trial;
    }
}

TEST(MatrixUnpivotedLU, SolvesAndRefusesZeroPivots)
{
    qvtest::Rng rng(9);
    const int n = 6;
    const QvMatrix a = RandomMatrix(n, n, rng, 4.0);
    QvMatrix lu = a;
    ASSERT_TRUE(lu.LUDecomposeNoPivot());
    // Unit lower times upper rebuilds the matrix.
    Eigen::MatrixXd f = ToEigen(lu);
    Eigen::MatrixXd lower = f.triangularView<Eigen::StrictlyLower>();
    lower += Eigen::MatrixXd::Identity(n, n);
    const Eigen::MatrixXd upper = f.triangularView<Eigen::Upper>();
    EXPECT_TRUE((lower * upper).isApprox(ToEigen(a), 1e-13));

    std::vector<double> b(n), x(n, 0.0);
    std::vector<QvPoint> bp(n), xp(n);
    Eigen::MatrixXd rhs(n, 3);
    for (int i = 0; i < n; ++i)
    {
        bp[i] = QvPoint(i, -2.0 * i + 1, 0.5 * i * i);
        b[i] = bp[i][2];
        for (int c = 0; c < 3; ++c)
            rhs(i, c) = bp[i][c];
    }
    const std::vector<double> bCopy = b;
    const Eigen::MatrixXd oracle = ToEigen(a).fullPivLu().solve(rhs);
    ASSERT_TRUE(lu.LUSolve(b.data(), x.data()));
    EXPECT_EQ(b, bCopy) << "the right-hand side is left alone";
    ASSERT_TRUE(lu.LUSolvePoints(bp, xp));
    for (int i = 0; i < n; ++i)
    {
        EXPECT_NEAR(x[i], oracle(i, 2), 1e-12);
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(xp[i][c], oracle(i, c), 1e-12);
    }

    QvMatrix zeroLead = Make(2, 2, {0, 1, 1, 0});
    EXPECT_FALSE(zeroLead.LUDecomposeNoPivot());

    // The last pivot is only caught by the solve.
    QvMatrix lastZero = Make(2, 2, {1, 1, 1, 1});
    ASSERT_TRUE(lastZero.LUDecomposeNoPivot());
    const double rb[2] = {1, 1};
    double rx[2] = {0, 0};
    EXPECT_FALSE(lastZero.LUSolve(rb, rx));
    std::vector<QvPoint> pb(2, QvPoint(1, 1, 1)), px(2);
    EXPECT_FALSE(lastZero.LUSolvePoints(pb, px));
}

TEST(MatrixNormalEquations, BandedTransposeTimesSelf)
{
    // A banded design matrix: column j may be non-zero in rows j .. j + 2 only.
    const int m = 8, n = 5;
    qvtest::Rng rng(3);
    QvMatrix a(m, n);
    std::vector<int> first(n), last(n);
    for (int j = 0; j < n; ++j)
    {
        first[j] = j;
        last[j] = j + 2;
        for (int k = first[j]; k <= last[j]; ++k)
            a[k][j] = qvtest::Uniform(rng, -2, 2);
    }
    const Eigen::MatrixXd oracle = ToEigen(a).transpose() * ToEigen(a);

    double largest = -1;
    std::unique_ptr<QvMatrix> full(a.TransposeTimesSelf(nullptr, nullptr, &largest));
    std::unique_ptr<QvMatrix> banded(a.TransposeTimesSelf(first.data(), last.data(), nullptr));
    ASSERT_EQ(full->m_row, n);
    ASSERT_EQ(full->m_col, n);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
        {
            EXPECT_NEAR((*full)[i][j], oracle(i, j), 1e-14);
            EXPECT_NEAR((*banded)[i][j], oracle(i, j), 1e-14);
        }
    EXPECT_EQ((*banded)[0][4], 0.0) << "disjoint bands sum nothing";
    EXPECT_DOUBLE_EQ(largest, oracle.cwiseAbs().maxCoeff());

    // Only the given range counts, even over non-zero rows.
    QvMatrix ones(3, 1);
    ones[0][0] = ones[1][0] = ones[2][0] = 1.0;
    const int f[1] = {1}, l[1] = {1};
    std::unique_ptr<QvMatrix> one(ones.TransposeTimesSelf(f, nullptr, nullptr));
    std::unique_ptr<QvMatrix> single(ones.TransposeTimesSelf(f, l, nullptr));
    EXPECT_EQ((*one)[0][0], 2.0);
    EXPECT_EQ((*single)[0][0], 1.0);
}

TEST(MatrixJacobi, KnownSpectra)
{
    QvMatrix diag = Make(3, 3, {3, 0, 0, 0, 1, 0, 0, 0, 2});
    QvMatrix v(3, 3);
    double values[3];
    ASSERT_TRUE(diag.JacobiEigen(values, v));
    EXPECT_EQ(values[0], 3.0);
    EXPECT_EQ(values[1], 1.0);
    EXPECT_EQ(values[2], 2.0);
    EXPECT_TRUE(v.IsIdentity());

    QvMatrix pair = Make(2, 2, {2, 1, 1, 2});
    QvMatrix w(2, 2);
    ASSERT_TRUE(pair.JacobiEigen(values, w));
    EXPECT_NEAR(values[0], 3.0, 1e-15);
    EXPECT_NEAR(values[1], 1.0, 1e-15);
    const double h = std::sqrt(0.5);
    ExpectNear(w, {h, -h, h, h}, 1e-15);

    QvMatrix one = Make(1, 1, {5});
    QvMatrix u(1, 1);
    ASSERT_TRUE(one.JacobiEigen(values, u));
    EXPECT_EQ(values[0], 5.0);
}

TEST(MatrixJacobi, EigenpairsOfRandomSymmetricMatrices)
{
    qvtest::Rng rng(11);
    for (int n : {3, 4, 5})
    {
        QvMatrix a = RandomMatrix(n, n, rng);
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < i; ++j)
                a[i][j] = a[j][i];
        const Eigen::MatrixXd e = ToEigen(a);
        QvMatrix v(n, n);
        std::vector<double> values(n);
        ASSERT_TRUE(a.JacobiEigen(values.data(), v)) << n;
        const Eigen::MatrixXd ev = ToEigen(v);
        EXPECT_TRUE((ev.transpose() * ev).isIdentity(1e-12));
        for (int k = 0; k < n; ++k)
        {
            const Eigen::VectorXd col = ev.col(k);
            // Converged to an off-diagonal below 1e-6: the residual is of that size.
            EXPECT_LT((e * col - values[k] * col).norm(), 1e-5) << n << " " << k;
        }
    }

    // Far too many off-diagonal elements for 60 rotations.
    QvMatrix big = RandomMatrix(20, 20, rng);
    for (int i = 0; i < 20; ++i)
        for (int j = 0; j < i; ++j)
            big[i][j] = big[j][i];
    QvMatrix v(20, 20);
    std::vector<double> values(20);
    EXPECT_FALSE(big.JacobiEigen(values.data(), v));
}

TEST(MatrixExport, ColumnMajorForTheRenderer)
{
    const QvMatrix rot = Make(3, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9});
    double out[16];
    std::fill(out, out + 16, -1.0);
    rot.ToGLMatrixPadded(out);
    EXPECT_EQ(out[1], 4.0);
    EXPECT_EQ(out[4], 2.0);
    EXPECT_EQ(out[10], 9.0);
    for (int i : {3, 7, 11, 12, 13, 14})
        EXPECT_EQ(out[i], 0.0) << i;
    EXPECT_EQ(out[15], 1.0);

    QvMatrix place(4, 4);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            place[r][c] = 10 * r + c + 0.5;
    place.ToGLMatrix(out);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(out[4 * c + r], place[r][c]);
    place.ToGLMatrixPadded(out);
    EXPECT_EQ(out[15], 1.0) << "the padded form forces the corner";
    EXPECT_EQ(out[12], 3.5);

    float f[16];
    rot.ToGLMatrixFloat(f);
    EXPECT_EQ(f[1], 4.0f);
    EXPECT_EQ(f[15], 1.0f);
    EXPECT_EQ(f[12], 0.0f);
}

TEST(MatrixStream, RoundTripIsByteExact)
{
    QvMatrix m(3, 4);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c)
            m[r][c] = std::ldexp(1.0 + r, c) / 3.0 - c;
    const std::string bytes = qvtest::BytesOf([&](std::ostream& os) { m.Write(os); });
    ASSERT_EQ(bytes.size(), 104u);
    std::int32_t rows = 0, cols = 0;
    std::memcpy(&rows, bytes.data(), 4);
    std::memcpy(&cols, bytes.data() + 4, 4);
    EXPECT_EQ(rows, 3);
    EXPECT_EQ(cols, 4);
    double e01 = 0;
    std::memcpy(&e01, bytes.data() + 16, 8);
    EXPECT_EQ(e01, m[0][1]) << "row-major";

    std::istringstream is(bytes);
    QvMatrix back(7, 7);
    ASSERT_TRUE(back.Read(is));
    EXPECT_TRUE(SameElements(back, m));
    EXPECT_EQ(qvtest::BytesOf([&](std::ostream& os) { back.Write(os); }), bytes);

    qvtest::ExpectReaderSurvivesDamage(bytes, [](std::istream& s) {
        QvMatrix r;
        return r.Read(s);
    });
}

TEST(MatrixStream, EmptyAndRefusedCounts)
{
    const std::string empty = qvtest::BytesOf([](std::ostream& os) { QvMatrix().Write(os); });
    ASSERT_EQ(empty.size(), 8u);
    std::istringstream is(empty);
    QvMatrix m(2, 2);
    ASSERT_TRUE(m.Read(is));
    EXPECT_EQ(m.m_row, 0);
    EXPECT_EQ(m.m_col, 0);
    EXPECT_EQ(m.m_pData, nullptr);

    struct Case
    {
        std::int32_t rows, cols;
        const char* why;
    } refused[] = {
        {-1, 3, "negative rows"},
        {3, -1, "negative columns"},
        {2, 2, "more elements than bytes"},
        {0x7fffffff, 0x7fffffff, "a product beyond any stream"},
        {65536, 65536, "a product past 32 bits"},
    };
    for (const Case& c : refused)
    {
        std::ostringstream os;
        qvio::WriteI32(os, c.rows);
        qvio::WriteI32(os, c.cols);
        qvio::WriteF64(os, 1.0); // one element only
        std::istringstream in(os.str());
        QvMatrix kept = Make(1, 2, {4, 5});
        EXPECT_FALSE(kept.Read(in)) << c.why;
        EXPECT_TRUE(in.fail()) << c.why;
        ExpectNear(kept, {4, 5}, 0.0);
    }
}

} // namespace
