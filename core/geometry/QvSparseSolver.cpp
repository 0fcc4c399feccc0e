// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/geometry/QvSparseSolver.h"

#include <Eigen/Core>
#include <Eigen/IterativeLinearSolvers>
#include <Eigen/OrderingMethods>
#include <Eigen/SparseCholesky>
#include <Eigen/SparseCore>
#include <Eigen/SparseLU>
#include <Eigen/SparseQR>

#include <algorithm>
#include <cmath>
#include <limits>
#include <type_traits>

#include "core/geometry/QvMatrix.h"

static_assert(std::is_same_v<QvSparseTriplet, Eigen::Triplet<double>>);
static_assert(std::is_same_v<QvDenseMatrixXd, Eigen::MatrixXd>);

namespace {

using SparseMatrix = Eigen::SparseMatrix<double>;

bool KnownKind(int kind)
{
    return kind == 0 || kind == 1 || kind == 2;
}

bool TripletsFit(const std::vector<QvSparseTriplet>& triplets, Eigen::Index n)
{
    for (const QvSparseTriplet& t : triplets)
    {
        if (t.row() < 0 || t.row() >= n || t.col() < 0 || t.col() >= n)
            return false;
    }
    return true;
}

// One factorisation, every column of b; x is written only on success.
bool SolveWithKind(SparseMatrix& a, const Eigen::MatrixXd& b, Eigen::MatrixXd& x, int kind)
{
    Eigen::MatrixXd solution;
    switch (kind)
    {
    case 0:
    {
        Eigen::SparseLU<SparseMatrix, Eigen::COLAMDOrdering<int>> lu;
        a.makeCompressed();
        lu.analyzePattern(a);
        lu.factorize(a);
        if (lu.info() != Eigen::Success)
            return false;
        solution = lu.solve(b);
        break;
    }
    case 1:
    {
        Eigen::BiCGSTAB<SparseMatrix, Eigen::DiagonalPreconditioner<double>> bicg;
        bicg.setMaxIterations(10000);
        bicg.setTolerance(1e-6);
        bicg.compute(a);
        solution = bicg.solve(b);
        if (bicg.info() != Eigen::Success)
            return false;
        break;
    }
    case 2:
    {
        Eigen::SparseQR<SparseMatrix, Eigen::COLAMDOrdering<int>> qr;
        a.makeCompressed();
        qr.analyzePattern(a);
        qr.factorize(a);
        // QR factors a singular matrix too, and would then answer a least-squares fit.
        if (qr.info() != Eigen::Success || qr.rank() < a.cols())
            return false;
        solution = qr.solve(b);
        break;
    }
    default:
        return false;
    }
    // A solution that overflowed is no solution; callers move vertices to it.
    if (!solution.allFinite())
        return false;
    x = std::move(solution);
    return true;
}

Eigen::MatrixXd ToEigen(const QvMatrix& m, Eigen::Index rows, Eigen::Index cols)
{
    Eigen::MatrixXd out(rows, cols);
    for (Eigen::Index i = 0; i < rows; ++i)
    {
        for (Eigen::Index j = 0; j < cols; ++j)
            out(i, j) = m[static_cast<int>(i)][static_cast<int>(j)];
    }
    return out;
}

void CopyInto(const Eigen::MatrixXd& from, QvMatrix& to)
{
    for (Eigen::Index i = 0; i < from.rows(); ++i)
    {
        for (Eigen::Index j = 0; j < from.cols(); ++j)
            to[static_cast<int>(i)][static_cast<int>(j)] = from(i, j);
    }
}

bool SolveIntoQvMatrix(SparseMatrix& a, const QvMatrix& B, QvMatrix& X, int kind)
{
    const Eigen::Index n = B.Rows();
    const Eigen::MatrixXd b = ToEigen(B, n, B.Cols());
    Eigen::MatrixXd x;
    if (!SolveWithKind(a, b, x, kind))
        return false;
    CopyInto(x, X);
    return true;
}

SparseMatrix FromTriplets(const std::vector<QvSparseTriplet>& A, Eigen::Index n)
{
    SparseMatrix a(n, n);
    a.setFromTriplets(A.begin(), A.end());
    return a;
}

bool XFits(const QvMatrix& B, const QvMatrix& X)
{
    return X.Rows() >= B.Rows() && X.Cols() >= B.Cols();
}

} // namespace

bool SolveSparseLinearSystem(const std::vector<QvSparseTriplet>& A, const QvMatrix& B, QvMatrix& X, int kind)
{
    const Eigen::Index n = B.Rows();
    if (!KnownKind(kind) || !XFits(B, X) || !TripletsFit(A, n))
        return false;
    if (n == 0)
        return true;
    SparseMatrix a = FromTriplets(A, n);
    return SolveIntoQvMatrix(a, B, X, kind);
}

bool SolveSparseLinearSystem(const std::vector<QvSparseTriplet>& A, const QvDenseMatrixXd& B, QvDenseMatrixXd& X,
                             int kind)
{
    const Eigen::Index n = B.rows();
    if (!KnownKind(kind) || !TripletsFit(A, n))
        return false;
    if (n == 0)
    {
        X.resize(B.rows(), B.cols());
        return true;
    }
    SparseMatrix a = FromTriplets(A, n);
    return SolveWithKind(a, B, X, kind);
}

bool SolveSymmetricSparseSystem(const std::vector<QvSparseTriplet>& A, const std::vector<double>& rowScale,
                                const QvDenseMatrixXd& B, QvDenseMatrixXd& X)
{
    const Eigen::Index n = B.rows();
    if (!TripletsFit(A, n) || (!rowScale.empty() && static_cast<Eigen::Index>(rowScale.size()) != n))
        return false;
    if (n == 0)
    {
        X.resize(B.rows(), B.cols());
        return true;
    }
    const SparseMatrix a = FromTriplets(A, n);
    if (a.nonZeros() == 0)
        return false;
    SparseMatrix scaled = a;
    Eigen::MatrixXd scaledB = B;
    if (!rowScale.empty())
    {
        const Eigen::Map<const Eigen::VectorXd> s(rowScale.data(), n);
        scaled = s.asDiagonal() * a;
        scaledB = s.asDiagonal() * B;
    }
    const SparseMatrix difference = scaled - SparseMatrix(scaled.transpose());
    const double largest = scaled.coeffs().cwiseAbs().maxCoeff();
    // NaN fails both comparisons and so the check.
    if (!(largest < std::numeric_limits<double>::infinity()) ||
        !(difference.nonZeros() == 0 || difference.coeffs().cwiseAbs().maxCoeff() <= 1e-13 * largest))
        return false;
    Eigen::SimplicialLLT<SparseMatrix, Eigen::Lower, Eigen::AMDOrdering<int>> cholesky(scaled);
    if (cholesky.info() != Eigen::Success)
        return false;
    Eigen::MatrixXd solution = cholesky.solve(scaledB);
    if (cholesky.info() != Eigen::Success || !solution.allFinite())
        return false;
    // The factor's rounding moves the solution of an ill-conditioned system (a high
    // fairing power) by up to its condition number times the machine epsilon, differently
    // for every factorisation; so does rounding in the scaled rows. Two refinement steps
    // against A itself, with residuals summed in long double, take the solution to A's own.
    Eigen::MatrixXd residual(n, B.cols());
    std::vector<long double> sums(static_cast<std::size_t>(n));
    for (int step = 0; step < 2; ++step)
    {
        for (Eigen::Index c = 0; c < B.cols(); ++c)
        {
            for (Eigen::Index i = 0; i < n; ++i)
                sums[i] = B(i, c);
            for (Eigen::Index k = 0; k < a.outerSize(); ++k)
                for (SparseMatrix::InnerIterator it(a, k); it; ++it)
                    sums[it.row()] -= static_cast<long double>(it.value()) * solution(it.col(), c);
            for (Eigen::Index i = 0; i < n; ++i)
                residual(i, c) = static_cast<double>(sums[i]) * (rowScale.empty() ? 1.0 : rowScale[i]);
        }
        solution += cholesky.solve(residual);
    }
    if (!solution.allFinite())
        return false;
    X = std::move(solution);
    return true;
}

bool SolveSparseLinearSystem(const QvMatrix& A, const QvMatrix& B, QvMatrix& X, int kind)
{
    const Eigen::Index n = B.Rows();
    if (!KnownKind(kind) || !XFits(B, X) || A.Rows() != n || A.Cols() != n)
        return false;
    if (n == 0)
        return true;
    std::vector<QvSparseTriplet> triplets;
    for (int i = 0; i < A.Rows(); ++i)
    {
        for (int j = 0; j < A.Cols(); ++j)
        {
            // NaN compares unequal to 0 and so is kept: it must make the solve fail, not vanish.
            if (A[i][j] != 0.0)
                triplets.emplace_back(i, j, A[i][j]);
        }
    }
    SparseMatrix a(n, n);
    a.setFromTriplets(triplets.begin(), triplets.end());
    return SolveIntoQvMatrix(a, B, X, kind);
}

QvBcgSolver::QvBcgSolver(std::int32_t n, std::size_t count)
    : m_n(std::max<std::int32_t>(n, 0))
{
    const std::size_t size = std::max(count, static_cast<std::size_t>(m_n) + 1);
    m_ija = new std::uint64_t[size]();
    m_sa = new double[size]();
    for (std::int32_t i = 0; i <= m_n; ++i)
        m_ija[i] = static_cast<std::uint64_t>(m_n) + 1;
}

QvBcgSolver::~QvBcgSolver()
{
    delete[] m_ija;
    m_ija = nullptr;
    delete[] m_sa;
    m_sa = nullptr;
}

void QvBcgSolver::Multiply(const double* sa, const std::uint64_t* ija, const double* x, double* b) const
{
    for (std::int32_t i = 0; i < m_n; ++i)
    {
        double sum = sa[i] * x[i];
        for (std::uint64_t k = ija[i]; k < ija[i + 1]; ++k)
            sum += sa[k] * x[ija[k]];
        b[i] = sum;
    }
}

void QvBcgSolver::MultiplyTransposed(const double* sa, const std::uint64_t* ija, const double* x, double* b) const
{
    for (std::int32_t i = 0; i < m_n; ++i)
        b[i] = sa[i] * x[i];
    for (std::int32_t i = 0; i < m_n; ++i)
    {
        for (std::uint64_t k = ija[i]; k < ija[i + 1]; ++k)
            b[ija[k]] += sa[k] * x[i];
    }
}

void QvBcgSolver::PreconditionSolve(const double* b, double* x) const
{
    for (std::int32_t i = 0; i < m_n; ++i)
        x[i] = m_sa[i] != 0.0 ? b[i] / m_sa[i] : b[i];
}

void QvBcgSolver::Apply(const double* x, double* r, int transposed) const
{
    if (transposed == 0)
        Multiply(m_sa, m_ija, x, r);
    else
        MultiplyTransposed(m_sa, m_ija, x, r);
}

double QvBcgSolver::Norm(const double* x, int mode) const
{
    if (mode <= 3)
    {
        double sum = 0.0;
        for (std::int32_t i = 0; i < m_n; ++i)
            sum += x[i] * x[i];
        return std::sqrt(sum);
    }
    double largest = 0.0;
    for (std::int32_t i = 0; i < m_n; ++i)
    {
        if (std::fabs(x[i]) > largest)
            largest = std::fabs(x[i]);
    }
    return largest;
}

void QvBcgSolver::Solve(const double* b, double* x, int mode, int maxIterations, int& iterations, double tolerance,
                        double& error) const
{
    iterations = 0;
    if (mode < 1 || mode > 4)
    {
        error = std::numeric_limits<double>::max();
        return;
    }

    const std::size_t n = static_cast<std::size_t>(m_n);
    std::vector<double> p(n), pp(n), r(n), rr(n), z(n), zz(n);

    Apply(x, r.data(), 0);
    bool exact = true;
    for (std::size_t j = 0; j < n; ++j)
    {
        r[j] = b[j] - r[j];
        rr[j] = r[j];
        exact = exact && r[j] == 0.0;
    }
    if (exact)
    {
        error = 0.0;
        return;
    }

    double bnrm = 0.0;
    double znrm = 0.0;
    if (mode == 1)
    {
        bnrm = Norm(b, mode);
        PreconditionSolve(r.data(), z.data());
    }
    else
    {
        PreconditionSolve(b, z.data());
        bnrm = Norm(z.data(), mode);
        PreconditionSolve(r.data(), z.data());
        if (mode >= 3)
            znrm = Norm(z.data(), mode);
    }
    if (bnrm == 0.0)
        bnrm = 1.0;

    auto dot = [n](const std::vector<double>& u, const std::vector<double>& v) {
        double s = 0.0;
        for (std::size_t j = 0; j < n; ++j)
            s += u[j] * v[j];
        return s;
    };

    bool anyPass = false;
    double bkden = 0.0;
    while (iterations < maxIterations)
    {
        ++iterations;
        PreconditionSolve(rr.data(), zz.data());
        const double bknum = dot(z, rr);
        // A zero numerator or denominator is a breakdown of the recurrence: continuing would
        // only spread 0/0 into x.
        if (bknum == 0.0)
            break;
        if (!anyPass)
        {
            p = z;
            pp = zz;
        }
        else
        {
            const double bk = bknum / bkden;
            for (std::size_t j = 0; j < n; ++j)
            {
                p[j] = bk * p[j] + z[j];
                pp[j] = bk * pp[j] + zz[j];
            }
        }
        bkden = bknum;
        Apply(p.data(), z.data(), 0);
        const double akden = dot(z, pp);
        if (akden == 0.0)
            break;
        const double ak = bknum / akden;
        Apply(pp.data(), zz.data(), 1);
        for (std::size_t j = 0; j < n; ++j)
        {
            x[j] += ak * p[j];
            r[j] -= ak * z[j];
            rr[j] -= ak * zz[j];
        }
        PreconditionSolve(r.data(), z.data());
        anyPass = true;

        if (mode == 1)
            error = Norm(r.data(), mode) / bnrm;
        else if (mode == 2)
            error = Norm(z.data(), mode) / bnrm;
        else
        {
            const double zm1nrm = znrm;
            znrm = Norm(z.data(), mode);
            if (std::fabs(zm1nrm - znrm) > 1e-14 * znrm)
            {
                const double dxnrm = std::fabs(ak) * Norm(p.data(), mode);
                error = znrm / std::fabs(zm1nrm - znrm) * dxnrm;
                const double xnrm = Norm(x, mode);
                if (error <= 0.5 * xnrm)
                {
                    if (xnrm > 0.0)
                        error /= xnrm;
                }
                else
                {
                    error = znrm / bnrm;
                    continue;
                }
            }
            else
            {
                error = znrm / bnrm;
                continue;
            }
        }
        if (error <= tolerance)
            break;
    }
    if (!anyPass)
        error = std::numeric_limits<double>::max();
}
