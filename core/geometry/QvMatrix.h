// SPDX-License-Identifier: GPL-3.0-or-later
// The one dense matrix of the core: 3 x 3 rotations, 4 x 4 placements and the
// small linear systems of fitting and interpolation.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <vector>

#include "core/geometry/QvPoint.h"

class QvMatrix
{
public:
    QvMatrix();
    // rows x cols, zero-filled. A matrix without elements (either count 0) holds no storage.
    QvMatrix(std::int32_t rows, std::int32_t cols);
    QvMatrix(const QvMatrix& other);
    QvMatrix& operator=(const QvMatrix& other);
    // 3 x 3 rotation by angle (radians) about axis; identity for a zero axis.
    QvMatrix(const QvVector& axis, double angle);
    // 3 x 3 rotation turning from into to.
    QvMatrix(const QvVector& from, const QvVector& to);
    ~QvMatrix();

    // Re-sizes; copies rows x cols doubles from data in row-major order, or zero-fills when null.
    void Create(std::int32_t rows, std::int32_t cols, const double* data = nullptr);

    double* operator[](int row) { return m_ppData[row]; }
    const double* operator[](int row) const { return m_ppData[row]; }

    std::int32_t Rows() const { return m_row; }
    std::int32_t Cols() const { return m_col; }

    // Element-wise sum; other must be at least this large in both directions.
    QvMatrix operator+(const QvMatrix& other) const;
    // Matrix product (cols of this == rows of other, else an empty matrix).
    QvMatrix operator*(const QvMatrix& other) const;

    void SetIdentity();
    bool IsIdentity() const;
    void Transpose();

    // rows, cols (int32), then the elements row by row.
    std::ostream& Write(std::ostream& os) const;
    // False on a failed stream or a negative or oversized count; the matrix is then unchanged.
    [[nodiscard]] bool Read(std::istream& is);

    // Crout LU with implicit scaling; pivots must hold n entries. The matrix is
    // untouched when a row is all below 1e-10, partly factored on a later zero pivot.
    [[nodiscard]] bool LUDecompose(std::vector<int>& pivots);
    [[nodiscard]] bool LUBackSubstitute(const std::vector<int>& pivots, double* b) const;
    [[nodiscard]] bool LUBackSubstitutePoints(const std::vector<int>& pivots, std::vector<QvPoint>& b) const;
    // In place; unchanged and false when not square or singular.
    [[nodiscard]] bool Invert();

    [[nodiscard]] bool LUDecomposeNoPivot();
    [[nodiscard]] bool LUSolve(const double* b, double* x) const;
    [[nodiscard]] bool LUSolvePoints(const std::vector<QvPoint>& b, std::vector<QvPoint>& x) const;

    // New cols x cols matrix A^T A, banded by per-column first and last rows (null: all rows);
    // maxAbs, when given, receives the largest absolute element of the result.
    QvMatrix* TransposeTimesSelf(const int* firstRow, const int* lastRow, double* maxAbs) const;

    // Symmetric eigenproblem by Jacobi rotations; destroys this matrix. eigenvectors must be n x n;
    // column k is the eigenvector of eigenvalue k. False after 60 rotations without convergence.
    [[nodiscard]] bool JacobiEigen(double* eigenvalues, QvMatrix& eigenvectors);
    // The same rotations on a 3 x 3 array, without the matrices' heap (box fits run it per node).
    [[nodiscard]] static bool JacobiEigen3(double a[3][3], double eigenvalues[3], double eigenvectors[3][3]);

    // Column-major copies for the renderer.
    void ToGLMatrix(double out[16]) const;
    void ToGLMatrixPadded(double out[16]) const;
    void ToGLMatrixFloat(float out[16]) const;

    std::int32_t m_row;
    std::int32_t m_col;
    double* m_pData;
    double** m_ppData;

private:
    void Release();
};

// A 3-row matrix rotates; a 4-row one also translates; any other size gives (0, 0, 0).
QvPoint operator*(const QvMatrix& m, const QvPoint& p);
// Upper-left 3 x 3 block only: vectors never translate.
QvVector operator*(const QvMatrix& m, const QvVector& v);
