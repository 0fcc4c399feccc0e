// SPDX-License-Identifier: GPL-3.0-or-later
// Sparse LU of a mesh-sized system: our front end (kind 0) against Eigen's SparseLU called
// directly on the same triplets, so that what the entry adds (copies in and out, checks)
// shows. The system is the uniform Laplacian of a 142 x 142 grid triangulation (20164
// unknowns, one row per vertex) with the border vertices fixed, solved for x, y and z at once
// as the fairing and parameterisation systems are.
#include <benchmark/benchmark.h>

#include <Eigen/Core>
#include <Eigen/OrderingMethods>
#include <Eigen/SparseCore>
#include <Eigen/SparseLU>

#include <cmath>
#include <vector>

#include "bench/BenchMain.h"
#include "core/geometry/QvMatrix.h"
#include "core/geometry/QvSparseSolver.h"

namespace {

constexpr int kSide = 142;
constexpr int kColumns = 3;

struct System
{
    int n = 0;
    std::vector<Eigen::Triplet<double>> triplets;
    QvMatrix b;
    Eigen::MatrixXd bEigen;
};

// Each grid square is split along one diagonal, so an inner vertex has six neighbours.
const System& GridLaplacian()
{
    static const System system = [] {
        System s;
        s.n = kSide * kSide;
        s.b.Create(s.n, kColumns);
        s.bEigen = Eigen::MatrixXd::Zero(s.n, kColumns);
        for (int r = 0; r < kSide; ++r)
        {
            for (int c = 0; c < kSide; ++c)
            {
                const int k = r * kSide + c;
                if (r == 0 || c == 0 || r == kSide - 1 || c == kSide - 1)
                {
                    s.triplets.emplace_back(k, k, 1.0);
                    const double value[kColumns] = {double(c), double(r), std::sin(0.1 * r) * std::cos(0.07 * c)};
                    for (int j = 0; j < kColumns; ++j)
                    {
                        s.b[k][j] = value[j];
                        s.bEigen(k, j) = value[j];
                    }
                    continue;
                }
                const int neighbours[6] = {k - 1, k + 1, k - kSide, k + kSide, k - kSide - 1, k + kSide + 1};
                s.triplets.emplace_back(k, k, 6.0);
                for (int nb : neighbours)
                    s.triplets.emplace_back(k, nb, -1.0);
            }
        }
        return s;
    }();
    return system;
}

void BM_SolveSparseLinearSystem_QvMatrix(benchmark::State& state)
{
    const System& s = GridLaplacian();
    QvMatrix x(s.n, kColumns);
    for (auto _ : state)
    {
        if (!SolveSparseLinearSystem(s.triplets, s.b, x, 0))
            state.SkipWithError("solve failed");
        benchmark::DoNotOptimize(x[s.n / 2][0]);
    }
    state.counters["unknowns"] = s.n;
}

void BM_SolveSparseLinearSystem_EigenForm(benchmark::State& state)
{
    const System& s = GridLaplacian();
    Eigen::MatrixXd x;
    for (auto _ : state)
    {
        if (!SolveSparseLinearSystem(s.triplets, s.bEigen, x, 0))
            state.SkipWithError("solve failed");
        benchmark::DoNotOptimize(x.data());
    }
    state.counters["unknowns"] = s.n;
}

// The peer: the same work written straight against Eigen (assembly, ordering, factorisation,
// three solves).
void BM_EigenSparseLU_Direct(benchmark::State& state)
{
    const System& s = GridLaplacian();
    for (auto _ : state)
    {
        Eigen::SparseMatrix<double> a(s.n, s.n);
        a.setFromTriplets(s.triplets.begin(), s.triplets.end());
        Eigen::SparseLU<Eigen::SparseMatrix<double>, Eigen::COLAMDOrdering<int>> lu;
        lu.analyzePattern(a);
        lu.factorize(a);
        if (lu.info() != Eigen::Success)
            state.SkipWithError("factorisation failed");
        Eigen::MatrixXd x = lu.solve(s.bEigen);
        benchmark::DoNotOptimize(x.data());
    }
    state.counters["unknowns"] = s.n;
}

} // namespace

BENCHMARK(BM_SolveSparseLinearSystem_QvMatrix)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SolveSparseLinearSystem_EigenForm)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EigenSparseLU_Direct)->Unit(benchmark::kMillisecond);

// The factorisation allocates and frees tens of megabytes per run. With glibc's adaptive
// thresholds, whether those blocks come back as fresh (page-faulting) mappings depends on the
// order of earlier allocations, which swings the figures by a factor of two between programs
// doing the same work; fixed thresholds keep every peer on the heap alike.
int main(int argc, char** argv)
{
    return benchmain::RunWithKeptHeap(argc, argv, 1024 * 1024 * 1024);
}
