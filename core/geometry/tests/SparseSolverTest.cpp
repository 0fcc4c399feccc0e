// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <Eigen/Core>
#include <Eigen/SparseCore>
#include <Eigen/SparseLU>

#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "core/geometry/QvMatrix.h"
#include "core/geometry/QvSparseSolver.h"

namespace {

using Triplets = std::vector<Eigen::Triplet<double>>;
using Dense = std::vector<std::vector<double>>;

QvMatrix MakeMatrix(const Dense& rows)
{
    QvMatrix m(static_cast<int>(rows.size()), rows.empty() ? 0 : static_cast<int>(rows[0].size()));
    for (int i = 0; i < m.Rows(); ++i)
        for (int j = 0; j < m.Cols(); ++j)
            m[i][j] = rows[i][j];
    return m;
}

QvMatrix Filled(int rows, int cols, double value)
{
    QvMatrix m(rows, cols);
    for (int i = 0; i < rows; ++i)
        for (int j = 0; j < cols; ++j)
            m[i][j] = value;
    return m;
}

bool AllEqual(const QvMatrix& m, double value)
{
    for (int i = 0; i < m.Rows(); ++i)
        for (int j = 0; j < m.Cols(); ++j)
            if (m[i][j] != value)
                return false;
    return true;
}

// Random sparse n x n system: about perRow off-diagonal entries per row in [-1, 1] and a
// diagonal in [-3, 3] kept away from 0 (nonsymmetric, indefinite, but well conditioned).
Triplets RandomSparse(int n, int perRow, std::uint64_t seed)
{
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    std::uniform_int_distribution<int> column(0, n - 1);
    Triplets t;
    for (int i = 0; i < n; ++i)
    {
        const double d = value(rng);
        t.emplace_back(i, i, d < 0 ? d * 2.0 - 1.0 : d * 2.0 + 1.0);
        for (int k = 0; k < perRow; ++k)
            t.emplace_back(i, column(rng), 0.3 * value(rng)); // repeats and diagonal hits are summed
    }
    return t;
}

TEST(SolveSparseLinearSystem, SmallSystemsEveryKind)
{
    struct Case
    {
        const char* name;
        Triplets a;
        Dense b;
        Dense x;
    } cases[] = {
        {"diagonal", {{0, 0, 2}, {1, 1, 4}}, {{2}, {8}}, {{1}, {2}}},
        {"duplicates are summed", {{0, 0, 1}, {0, 0, 1}, {1, 1, 1}}, {{4}, {1}}, {{2}, {1}}},
        {"two columns, one factorisation", {{0, 0, 2}, {0, 1, 1}, {1, 0, 1}, {1, 1, 3}},
         {{3, 5}, {4, 10}}, {{1, 1}, {1, 3}}},
    };
    for (const Case& c : cases)
    {
        for (int kind = 0; kind <= 2; ++kind)
        {
            SCOPED_TRACE(testing::Message() << c.name << ", kind " << kind);
            const QvMatrix b = MakeMatrix(c.b);
            QvMatrix x(b.Rows(), b.Cols());
            ASSERT_TRUE(SolveSparseLinearSystem(c.a, b, x, kind));
            for (int i = 0; i < x.Rows(); ++i)
                for (int j = 0; j < x.Cols(); ++j)
                    EXPECT_NEAR(x[i][j], c.x[i][j], 1e-9);
        }
    }
}

TEST(SolveSparseLinearSystem, RefusalsLeaveTheOutputUntouched)
{
    struct Case
    {
        const char* name;
        Triplets a;
        int xRows, xCols;
        int kind;
    } cases[] = {
        {"zero row, LU", {{0, 0, 1}, {0, 1, 2}, {2, 2, 1}}, 3, 1, 0},
        {"zero row, QR", {{0, 0, 1}, {0, 1, 2}, {2, 2, 1}}, 3, 1, 2},
        {"zero row, BiCGSTAB", {{0, 0, 1}, {0, 1, 2}, {2, 2, 1}}, 3, 1, 1},
        {"equal rows, LU", {{0, 0, 1}, {0, 1, 2}, {1, 0, 1}, {1, 1, 2}, {2, 2, 1}}, 3, 1, 0},
        {"equal rows, QR", {{0, 0, 1}, {0, 1, 2}, {1, 0, 1}, {1, 1, 2}, {2, 2, 1}}, 3, 1, 2},
        {"triplet beyond n", {{0, 0, 1}, {1, 1, 1}, {2, 3, 1}}, 3, 1, 0},
        {"negative index", {{0, 0, 1}, {1, 1, 1}, {-1, 2, 1}}, 3, 1, 0},
        {"unknown kind 3", {{0, 0, 1}, {1, 1, 1}, {2, 2, 1}}, 3, 1, 3},
        {"unknown kind -1", {{0, 0, 1}, {1, 1, 1}, {2, 2, 1}}, 3, 1, -1},
        {"X too short", {{0, 0, 1}, {1, 1, 1}, {2, 2, 1}}, 2, 1, 0},
        {"X too narrow", {{0, 0, 1}, {1, 1, 1}, {2, 2, 1}}, 3, 0, 0},
    };
    const QvMatrix b = MakeMatrix({{1}, {1}, {1}});
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        QvMatrix x = Filled(c.xRows, c.xCols, 7.5);
        EXPECT_FALSE(SolveSparseLinearSystem(c.a, b, x, c.kind));
        EXPECT_EQ(x.Rows(), c.xRows);
        EXPECT_TRUE(AllEqual(x, 7.5));
    }
}

TEST(SolveSparseLinearSystem, EigenFormResizesOnlyOnSuccess)
{
    const Triplets a = {{0, 0, 2}, {1, 1, 4}};
    Eigen::MatrixXd b(2, 2);
    b << 2, 4, 8, 4;
    Eigen::MatrixXd x = Eigen::MatrixXd::Constant(5, 1, 7.5);
    ASSERT_TRUE(SolveSparseLinearSystem(a, b, x, 0));
    ASSERT_EQ(x.rows(), 2);
    ASSERT_EQ(x.cols(), 2);
    EXPECT_NEAR(x(0, 0), 1, 1e-12);
    EXPECT_NEAR(x(1, 0), 2, 1e-12);
    EXPECT_NEAR(x(0, 1), 2, 1e-12);
    EXPECT_NEAR(x(1, 1), 1, 1e-12);

    const Triplets singular = {{0, 0, 2}};
    Eigen::MatrixXd kept = Eigen::MatrixXd::Constant(5, 1, 7.5);
    EXPECT_FALSE(SolveSparseLinearSystem(singular, b, kept, 0));
    EXPECT_EQ(kept.rows(), 5);
    EXPECT_TRUE((kept.array() == 7.5).all());
}

TEST(SolveSparseLinearSystem, DenseFormKeepsNaNAndChecksShape)
{
    QvMatrix x = Filled(2, 1, 7.5);
    const QvMatrix b = MakeMatrix({{1}, {1}});
    // A NaN that were dropped as "zero" would leave a solvable diagonal system.
    const QvMatrix withNaN = MakeMatrix({{1, std::nan("")}, {0, 1}});
    EXPECT_FALSE(SolveSparseLinearSystem(withNaN, b, x, 0));
    EXPECT_TRUE(AllEqual(x, 7.5));

    const QvMatrix notSquare = MakeMatrix({{1, 0, 0}, {0, 1, 0}});
    EXPECT_FALSE(SolveSparseLinearSystem(notSquare, b, x, 0));
    EXPECT_TRUE(AllEqual(x, 7.5));

    const QvMatrix ok = MakeMatrix({{2, 0}, {1, 1}});
    ASSERT_TRUE(SolveSparseLinearSystem(ok, b, x, 0));
    EXPECT_NEAR(x[0][0], 0.5, 1e-12);
    EXPECT_NEAR(x[1][0], 0.5, 1e-12);
}

// The sparse LU has to agree with the kernel's own dense LU, column by column.
TEST(SolveSparseLinearSystem, SparseLUEqualsDenseLUOn200Unknowns)
{
    const int n = 200;
    const int m = 3;
    const Triplets a = RandomSparse(n, 6, 11);
    QvMatrix dense(n, n);
    for (const auto& t : a)
        dense[t.row()][t.col()] += t.value();

    std::mt19937_64 rng(12);
    std::uniform_real_distribution<double> value(-10.0, 10.0);
    QvMatrix b(n, m);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < m; ++j)
            b[i][j] = value(rng);

    QvMatrix lu = dense;
    std::vector<int> pivots(n);
    ASSERT_TRUE(lu.LUDecompose(pivots));
    QvMatrix expected(n, m);
    for (int j = 0; j < m; ++j)
    {
        std::vector<double> col(n);
        for (int i = 0; i < n; ++i)
            col[i] = b[i][j];
        ASSERT_TRUE(lu.LUBackSubstitute(pivots, col.data()));
        for (int i = 0; i < n; ++i)
            expected[i][j] = col[i];
    }

    QvMatrix fromTriplets(n, m);
    ASSERT_TRUE(SolveSparseLinearSystem(a, b, fromTriplets, 0));
    QvMatrix fromDense(n + 2, m + 1); // larger X: only the n x m block is written
    ASSERT_TRUE(SolveSparseLinearSystem(dense, b, fromDense, 0));
    QvMatrix fromQr(n, m);
    ASSERT_TRUE(SolveSparseLinearSystem(a, b, fromQr, 2));
    double worst = 0.0;
    for (int i = 0; i < n; ++i)
    {
        for (int j = 0; j < m; ++j)
        {
            const double scale = std::max(1.0, std::fabs(expected[i][j]));
            worst = std::max(worst, std::fabs(fromTriplets[i][j] - expected[i][j]) / scale);
            EXPECT_EQ(fromDense[i][j], fromTriplets[i][j]);
            EXPECT_NEAR(fromQr[i][j], expected[i][j], 1e-8 * scale);
        }
        EXPECT_EQ(fromDense[i][m], 0.0);
    }
    EXPECT_LT(worst, 1e-9);
    for (int j = 0; j <= m; ++j)
        EXPECT_EQ(fromDense[n][j], 0.0);
}

TEST(SolveSparseLinearSystem, BiCGSTABMeetsItsTolerance)
{
    // Diagonally dominant, so the iteration converges.
    const int n = 300;
    Triplets a;
    std::mt19937_64 rng(5);
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    std::uniform_int_distribution<int> column(0, n - 1);
    for (int i = 0; i < n; ++i)
    {
        a.emplace_back(i, i, 8.0);
        for (int k = 0; k < 5; ++k)
            a.emplace_back(i, column(rng), value(rng));
    }
    Eigen::MatrixXd b = Eigen::MatrixXd::Random(n, 2);
    Eigen::MatrixXd x;
    ASSERT_TRUE(SolveSparseLinearSystem(a, b, x, 1));
    Eigen::SparseMatrix<double> s(n, n);
    s.setFromTriplets(a.begin(), a.end());
    for (int j = 0; j < 2; ++j)
        EXPECT_LE((s * x.col(j) - b.col(j)).norm() / b.col(j).norm(), 1e-6);
}

// The cube of the second-difference matrix tridiag(-1, 2, -1): integer entries, symmetric
// positive definite, condition number about 2e12 at 150 unknowns (a one-dimensional
// third-order fairing).
Triplets SecondDifferenceCubed(int n)
{
    Eigen::SparseMatrix<double> t(n, n);
    Triplets d;
    for (int i = 0; i < n; ++i)
    {
        d.emplace_back(i, i, 2.0);
        if (i > 0)
            d.emplace_back(i, i - 1, -1.0);
        if (i + 1 < n)
            d.emplace_back(i, i + 1, -1.0);
    }
    t.setFromTriplets(d.begin(), d.end());
    const Eigen::SparseMatrix<double> cube = t * t * t;
    Triplets out;
    for (int k = 0; k < cube.outerSize(); ++k)
        for (Eigen::SparseMatrix<double>::InnerIterator it(cube, k); it; ++it)
            out.emplace_back(static_cast<int>(it.row()), static_cast<int>(it.col()), it.value());
    return out;
}

TEST(SolveSymmetricSparseSystem, RowScaledSystemGetsItsOwnSolution)
{
    // B = A x exactly (integers), so x is the exact solution. The rows are divided by
    // powers of two and scaled back by rowScale, as a fairing system's rows are. A plain
    // Cholesky solve of so ill-conditioned a matrix misses x by about 2e-5.
    const int n = 150;
    const Triplets cube = SecondDifferenceCubed(n);
    Eigen::MatrixXd x(n, 2);
    for (int i = 0; i < n; ++i)
    {
        x(i, 0) = static_cast<double>((i * 37) % 11) - 5.0;
        x(i, 1) = static_cast<double>(i % 3);
    }
    Eigen::SparseMatrix<double> a(n, n);
    a.setFromTriplets(cube.begin(), cube.end());
    const Eigen::MatrixXd b = a * x;
    std::vector<double> rowScale(n);
    Triplets divided;
    for (const auto& t : cube)
        divided.emplace_back(t.row(), t.col(), std::ldexp(t.value(), -(t.row() % 4)));
    Eigen::MatrixXd dividedB = b;
    for (int i = 0; i < n; ++i)
    {
        rowScale[i] = std::ldexp(1.0, i % 4);
        dividedB.row(i) /= rowScale[i];
    }
    struct Case
    {
        const char* name;
        const Triplets& a;
        std::vector<double> rowScale;
        const Eigen::MatrixXd& b;
    };
    const Case cases[] = {{"symmetric", cube, {}, b}, {"row-scaled", divided, rowScale, dividedB}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        Eigen::MatrixXd solution;
        ASSERT_TRUE(SolveSymmetricSparseSystem(c.a, c.rowScale, c.b, solution));
        ASSERT_EQ(solution.rows(), n);
        ASSERT_EQ(solution.cols(), 2);
        EXPECT_LT((solution - x).cwiseAbs().maxCoeff(), 1e-8);
    }
}

TEST(SolveSymmetricSparseSystem, RefusalsLeaveTheOutputUntouched)
{
    const Eigen::MatrixXd b = Eigen::MatrixXd::Ones(3, 1);
    struct Case
    {
        const char* name;
        Triplets a;
        std::vector<double> rowScale;
    };
    const Case cases[] = {
        {"not symmetric", {{0, 0, 2}, {0, 1, 1}, {1, 1, 2}, {2, 2, 2}}, {}},
        {"symmetric only unscaled", {{0, 0, 2}, {0, 1, 1}, {1, 0, 1}, {1, 1, 2}, {2, 2, 2}}, {1, 2, 1}},
        {"indefinite", {{0, 0, 1}, {0, 1, 2}, {1, 0, 2}, {1, 1, 1}, {2, 2, 1}}, {}},
        {"singular", {{0, 0, 1}, {1, 1, 1}}, {}},
        {"no entries", {}, {}},
        {"NaN entry", {{0, 0, std::numeric_limits<double>::quiet_NaN()}, {1, 1, 1}, {2, 2, 1}}, {}},
        {"triplet outside", {{0, 0, 1}, {1, 1, 1}, {2, 2, 1}, {3, 3, 1}}, {}},
        {"scale of the wrong size", {{0, 0, 1}, {1, 1, 1}, {2, 2, 1}}, {1, 1}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        Eigen::MatrixXd x = Eigen::MatrixXd::Constant(2, 2, 7.5);
        EXPECT_FALSE(SolveSymmetricSparseSystem(c.a, c.rowScale, b, x));
        EXPECT_EQ(x, Eigen::MatrixXd::Constant(2, 2, 7.5));
    }
}

// Row-indexed storage built from a dense matrix: the diagonal first, then the off-diagonal
// non-zeros of each row in column order.
std::unique_ptr<QvBcgSolver> RowIndexed(const Dense& a)
{
    const int n = static_cast<int>(a.size());
    std::size_t offDiagonal = 0;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            offDiagonal += (i != j && a[i][j] != 0.0) ? 1 : 0;
    auto s = std::make_unique<QvBcgSolver>(n, n + 1 + offDiagonal);
    std::uint64_t k = n + 1;
    s->m_ija[0] = k;
    for (int i = 0; i < n; ++i)
    {
        s->m_sa[i] = a[i][i];
        for (int j = 0; j < n; ++j)
        {
            if (i != j && a[i][j] != 0.0)
            {
                s->m_sa[k] = a[i][j];
                s->m_ija[k] = j;
                ++k;
            }
        }
        s->m_ija[i + 1] = k;
    }
    return s;
}

TEST(QvBcgSolver, ProductsAndPreconditionerMatchTheDenseMatrix)
{
    const Dense a = {{4, 0, -1, 0}, {2, 0, 0, 3}, {0, 0, 5, 0}, {1, -2, 0, 6}};
    const auto s = RowIndexed(a);
    const double x[4] = {1, -2, 3, 0.5};
    double ax[4], atx[4];
    s->Apply(x, ax, 0);
    s->Apply(x, atx, 1);
    for (int i = 0; i < 4; ++i)
    {
        double row = 0.0, col = 0.0;
        for (int j = 0; j < 4; ++j)
        {
            row += a[i][j] * x[j];
            col += a[j][i] * x[j];
        }
        EXPECT_DOUBLE_EQ(ax[i], row);
        EXPECT_DOUBLE_EQ(atx[i], col);
    }
    double px[4];
    s->PreconditionSolve(x, px);
    EXPECT_DOUBLE_EQ(px[0], 0.25);
    EXPECT_DOUBLE_EQ(px[1], -2.0); // zero diagonal: passed through
    EXPECT_DOUBLE_EQ(px[2], 0.6);
    EXPECT_DOUBLE_EQ(px[3], 0.5 / 6.0);
}

TEST(QvBcgSolver, Norms)
{
    QvBcgSolver s(3, 4);
    const double v[3] = {1, -3, 3};
    EXPECT_EQ(s.Norm(v, 4), 3.0);
    EXPECT_EQ(s.Norm(v, 7), 3.0);
    EXPECT_DOUBLE_EQ(s.Norm(v, 1), std::sqrt(19.0));
    EXPECT_DOUBLE_EQ(s.Norm(v, 3), std::sqrt(19.0));
    EXPECT_DOUBLE_EQ(s.Norm(v, -2), std::sqrt(19.0));
    QvBcgSolver empty(0, 1);
    EXPECT_EQ(empty.Norm(v, 1), 0.0);
    EXPECT_EQ(empty.Norm(v, 4), 0.0);
}

TEST(QvBcgSolver, DiagonalSystemConvergesInOnePass)
{
    const auto s = RowIndexed({{2, 0, 0}, {0, -4, 0}, {0, 0, 0.5}});
    const double b[3] = {2, 8, 1};
    double x[3] = {0, 0, 0};
    int iterations = -1;
    double error = -1;
    s->Solve(b, x, 1, 100, iterations, 1e-12, error);
    EXPECT_EQ(iterations, 1);
    EXPECT_EQ(error, 0.0);
    EXPECT_DOUBLE_EQ(x[0], 1.0);
    EXPECT_DOUBLE_EQ(x[1], -2.0);
    EXPECT_DOUBLE_EQ(x[2], 2.0);
}

// The system of a flattened grid patch: boundary rows fix their value, interior rows say
// u_k minus the mean of its four neighbours is 0 — the shape the parameterisation hands over.
struct GridSystem
{
    int side;
    Dense a;
    std::vector<double> b;
};

GridSystem MakeGridSystem(int side)
{
    GridSystem g{side, Dense(side * side, std::vector<double>(side * side, 0.0)), std::vector<double>(side * side)};
    for (int r = 0; r < side; ++r)
    {
        for (int c = 0; c < side; ++c)
        {
            const int k = r * side + c;
            g.a[k][k] = 1.0;
            if (r == 0 || c == 0 || r == side - 1 || c == side - 1)
            {
                g.b[k] = std::sin(0.7 * r) + 0.3 * c; // boundary values
                continue;
            }
            for (int nb : {k - 1, k + 1, k - side, k + side})
                g.a[k][nb] = -0.25;
        }
    }
    return g;
}

TEST(QvBcgSolver, EveryModeSolvesTheGridSystem)
{
    const GridSystem g = MakeGridSystem(12);
    const int n = g.side * g.side;
    Eigen::SparseMatrix<double> s(n, n);
    Triplets t;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            if (g.a[i][j] != 0.0)
                t.emplace_back(i, j, g.a[i][j]);
    s.setFromTriplets(t.begin(), t.end());
    Eigen::SparseLU<Eigen::SparseMatrix<double>> lu(s);
    const Eigen::VectorXd exact = lu.solve(Eigen::Map<const Eigen::VectorXd>(g.b.data(), n));

    const auto solver = RowIndexed(g.a);
    for (int mode = 1; mode <= 4; ++mode)
    {
        SCOPED_TRACE(testing::Message() << "mode " << mode);
        std::vector<double> x = g.b; // the caller's start: boundary values placed, interior as is
        int iterations = 0;
        double error = 0;
        solver->Solve(g.b.data(), x.data(), mode, 20000, iterations, 1e-10, error);
        EXPECT_GT(iterations, 1);
        EXPECT_LT(iterations, 20000);
        EXPECT_LE(error, 1e-10);
        for (int i = 0; i < n; ++i)
            EXPECT_NEAR(x[i], exact[i], 1e-7);
    }
}

TEST(QvBcgSolver, NoPassWhenThereIsNothingToDo)
{
    const auto s = RowIndexed({{2, 1}, {1, 3}});
    struct Case
    {
        const char* name;
        double b[2];
        double start[2];
        int mode;
        int maxIterations;
        double error;
    } cases[] = {
        {"zero right-hand side, zero start", {0, 0}, {0, 0}, 1, 50, 0.0},
        {"start already exact", {3, 4}, {1, 1}, 3, 50, 0.0},
        {"mode 0", {3, 4}, {0, 0}, 0, 50, std::numeric_limits<double>::max()},
        {"mode 5", {3, 4}, {0, 0}, 5, 50, std::numeric_limits<double>::max()},
        {"no iterations allowed", {3, 4}, {0, 0}, 1, 0, std::numeric_limits<double>::max()},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        double x[2] = {c.start[0], c.start[1]};
        int iterations = -1;
        double error = -1;
        s->Solve(c.b, x, c.mode, c.maxIterations, iterations, 1e-9, error);
        EXPECT_EQ(iterations, 0);
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(x[0], c.start[0]);
        EXPECT_EQ(x[1], c.start[1]);
    }
}

TEST(QvBcgSolver, BreakdownStopsBeforeSpoilingX)
{
    // A swap matrix: the first search direction is A-orthogonal to its shadow (akden = 0).
    const auto s = RowIndexed({{0, 1}, {1, 0}});
    const double b[2] = {1, 0};
    double x[2] = {0, 0};
    int iterations = 0;
    double error = 0;
    s->Solve(b, x, 1, 50, iterations, 1e-9, error);
    EXPECT_EQ(iterations, 1);
    EXPECT_EQ(error, std::numeric_limits<double>::max());
    EXPECT_EQ(x[0], 0.0);
    EXPECT_EQ(x[1], 0.0);
}

TEST(QvBcgSolver, ZeroRightHandSideFromANonZeroStartStaysFinite)
{
    const auto s = RowIndexed({{2, 1}, {1, 3}});
    const double b[2] = {0, 0};
    double x[2] = {1, -1};
    int iterations = 0;
    double error = 0;
    s->Solve(b, x, 1, 50, iterations, 1e-12, error);
    EXPECT_TRUE(std::isfinite(error));
    EXPECT_NEAR(x[0], 0.0, 1e-12);
    EXPECT_NEAR(x[1], 0.0, 1e-12);
}

} // namespace
