// SPDX-License-Identifier: GPL-3.0-or-later
// Sparse linear systems of the mesh operations (one row per vertex): the one front end
// over Eigen's sparse solvers, and a small biconjugate-gradient solver on row-indexed storage.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class QvMatrix;

// Declared here so that this header stays light; callers that build triplets include
// <Eigen/SparseCore> themselves (and <Eigen/Core> for the dense form).
namespace Eigen {
template <typename Scalar, typename StorageIndex>
class Triplet;
template <typename Scalar, int Rows, int Cols, int Options, int MaxRows, int MaxCols>
class Matrix;
} // namespace Eigen

// Eigen::Triplet<double> and Eigen::MatrixXd spelled out.
using QvSparseTriplet = Eigen::Triplet<double, int>;
using QvDenseMatrixXd = Eigen::Matrix<double, -1, -1, 0, -1, -1>;

// Solves A X = B for every column of B with one factorisation. A is n x n with n = B's rows,
// given as triplets (equal positions are summed). kind 0: sparse LU (COLAMD); 1: BiCGSTAB with
// a diagonal preconditioner (10000 iterations, tolerance 1e-6); 2: sparse QR (COLAMD).
// False, with X unchanged, when the kind is unknown, a triplet lies outside n x n, X is too
// small, the matrix is singular (for QR: of rank below n), the iteration does not converge or
// the solution is not finite. X must have at least n rows and B's column count; only that
// block is written.
[[nodiscard]] bool SolveSparseLinearSystem(const std::vector<QvSparseTriplet>& A, const QvMatrix& B,
                                           QvMatrix& X, int kind);
// The same; X takes B's size on success.
[[nodiscard]] bool SolveSparseLinearSystem(const std::vector<QvSparseTriplet>& A, const QvDenseMatrixXd& B,
                                           QvDenseMatrixXd& X, int kind);
// Solves A X = B where S A is symmetric positive definite for the diagonal S of rowScale
// (empty: A itself), with one sparse Cholesky factorisation of S A (minimum-degree
// ordering): about twice as fast as the LU of kind 0. Only the lower triangle is factorised,
// so symmetry is checked: an entry of S A and its mirror may differ by no more than 1e-13 of
// its largest entry. The solution is refined against A with residuals summed in long double,
// so that an ill-conditioned A gets its own solution rather than the factor's rounding.
// False, with X unchanged, when a triplet lies outside n x n, rowScale is neither empty nor
// of n entries, S A is not symmetric or not positive definite, or the solution is not
// finite; X takes B's size on success.
[[nodiscard]] bool SolveSymmetricSparseSystem(const std::vector<QvSparseTriplet>& A, const std::vector<double>& rowScale,
                                              const QvDenseMatrixXd& B, QvDenseMatrixXd& X);
// A given densely: its entries that are not 0 (NaN included) form the sparse matrix. A must be
// square of B's row count.
[[nodiscard]] bool SolveSparseLinearSystem(const QvMatrix& A, const QvMatrix& B, QvMatrix& X, int kind);

// Row-indexed storage of an n x n matrix: sa[0 .. n-1] the diagonal (kept even when 0), sa[n]
// unused; ija[0] = n + 1, row i's off-diagonal entries are k = ija[i] .. ija[i+1] - 1 with
// value sa[k] and column ija[k]. The diagonal apart makes the preconditioner a plain division.
class QvBcgSolver
{
public:
    // Both arrays of max(count, n + 1) elements, zero-filled, every row without off-diagonal
    // entries; the caller fills them.
    QvBcgSolver(std::int32_t n, std::size_t count);
    virtual ~QvBcgSolver();
    QvBcgSolver(const QvBcgSolver&) = delete;
    QvBcgSolver& operator=(const QvBcgSolver&) = delete;

    // b = A x, b = A^T x with the given arrays (n of this solver).
    void Multiply(const double* sa, const std::uint64_t* ija, const double* x, double* b) const;
    void MultiplyTransposed(const double* sa, const std::uint64_t* ija, const double* x, double* b) const;
    // x = diag(A)^-1 b; rows with a zero diagonal pass b through.
    void PreconditionSolve(const double* b, double* x) const;
    // r = A x (transposed 0) or A^T x (otherwise) with this solver's arrays.
    void Apply(const double* x, double* r, int transposed) const;
    // mode <= 3: Euclidean norm; mode > 3: the largest magnitude.
    double Norm(const double* x, int mode) const;

    // Preconditioned biconjugate gradient from the start value in x. mode 1: stop on
    // |r| / |b|; mode 2: on the preconditioned residual; modes 3 and 4: on the estimated
    // error of x (Euclidean / largest magnitude). Reports the passes made and the last error.
    // A start value that already solves exactly makes no pass (error 0). A breakdown (a zero
    // denominator) stops without touching x, keeping the error of the last full pass (the
    // largest double when there was none); so does a mode outside 1 to 4, at once. A zero b
    // measures the residual absolutely.
    void Solve(const double* b, double* x, int mode, int maxIterations, int& iterations, double tolerance,
               double& error) const;

    std::int32_t m_n = 0;
    std::uint64_t* m_ija = nullptr;
    double* m_sa = nullptr;
};
