// SPDX-License-Identifier: GPL-3.0-or-later
// Placing points with a 4 x 4 matrix, and the oriented-box overlap test of the collision trees,
// side by side with Eigen and FCL on the same data.
#include <benchmark/benchmark.h>

#include <Eigen/Geometry>
#include <fcl/math/bv/OBB.h>

#include <cstdint>
#include <random>
#include <vector>

#include "core/geometry/QvMatrix.h"
#include "core/geometry/QvOBB.h"

namespace {

constexpr std::size_t kPoints = 1000000;
constexpr std::int64_t kOverlapTests = 10000000;
// Distinct box pairs, cycled until kOverlapTests tests are done: a few MB, as a tree walk touches.
constexpr std::size_t kPairs = 1 << 16;

Eigen::Matrix3d RandomRotation(std::mt19937_64& rng)
{
    std::normal_distribution<double> n(0.0, 1.0);
    Eigen::Quaterniond q(n(rng), n(rng), n(rng), n(rng));
    q.normalize();
    return q.toRotationMatrix();
}

// One rigid placement (rotation and translation), in both forms.
struct Placement
{
    QvMatrix qv{4, 4};
    Eigen::Affine3d eigen = Eigen::Affine3d::Identity();

    Placement()
    {
        std::mt19937_64 rng(1);
        const Eigen::Matrix3d R = RandomRotation(rng);
        const Eigen::Vector3d t(12.5, -3.25, 40.0);
        eigen.linear() = R;
        eigen.translation() = t;
        for (int r = 0; r < 3; ++r)
        {
            for (int c = 0; c < 3; ++c)
                qv[r][c] = R(r, c);
            qv[r][3] = t[r];
        }
        qv[3][3] = 1.0;
    }
};

struct PointData
{
    std::vector<QvPoint> qv;
    std::vector<Eigen::Vector3d> eigen;

    PointData()
    {
        std::mt19937_64 rng(2);
        std::uniform_real_distribution<double> u(-30.0, 30.0);
        qv.reserve(kPoints);
        eigen.reserve(kPoints);
        for (std::size_t i = 0; i < kPoints; ++i)
        {
            const double x = u(rng), y = u(rng), z = u(rng);
            qv.emplace_back(x, y, z);
            eigen.emplace_back(x, y, z);
        }
    }
};

const Placement& ThePlacement()
{
    static const Placement p;
    return p;
}

const PointData& ThePoints()
{
    static const PointData d;
    return d;
}

void BM_TransformPoints_QvMatrix(benchmark::State& state)
{
    const QvMatrix& m = ThePlacement().qv;
    const std::vector<QvPoint>& in = ThePoints().qv;
    std::vector<QvPoint> out(in.size());
    for (auto _ : state)
    {
        for (std::size_t i = 0; i < in.size(); ++i)
            out[i] = m * in[i];
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(in.size()));
}

void BM_TransformPoints_EigenAffine3d(benchmark::State& state)
{
    const Eigen::Affine3d& m = ThePlacement().eigen;
    const std::vector<Eigen::Vector3d>& in = ThePoints().eigen;
    std::vector<Eigen::Vector3d> out(in.size());
    for (auto _ : state)
    {
        for (std::size_t i = 0; i < in.size(); ++i)
            out[i] = m * in[i];
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(in.size()));
}

// Box pairs as the tree descent of two neighbouring teeth meets them: sizes from a few tenths of a
// millimetre to a crown, centres scattered so that roughly half the pairs overlap.
struct BoxPairs
{
    std::vector<QvOBB> qvA, qvB;
    std::vector<fcl::OBBd> fclA, fclB;
    double overlapShare = 0.0;
    double disagreements = 0.0;

    BoxPairs()
    {
        std::mt19937_64 rng(3);
        std::uniform_real_distribution<double> half(0.2, 4.0);
        std::uniform_real_distribution<double> offset(-20.0, 20.0);
        std::uniform_real_distribution<double> near(-5.0, 5.0);
        auto make = [&](const Eigen::Vector3d& centre, QvOBB& qv, fcl::OBBd& peer) {
            const Eigen::Matrix3d R = RandomRotation(rng);
            const Eigen::Vector3d h(half(rng), half(rng), half(rng));
            QvFrame f;
            f.m_centre = QvPoint(centre.x(), centre.y(), centre.z());
            f.m_dirX = QvVector(R(0, 0), R(1, 0), R(2, 0));
            f.m_dirY = QvVector(R(0, 1), R(1, 1), R(2, 1));
            f.m_dirZ = QvVector(R(0, 2), R(1, 2), R(2, 2));
            qv = QvOBB(f, h.x(), h.y(), h.z());
            peer = fcl::OBBd(R, centre, h);
        };
        qvA.resize(kPairs);
        qvB.resize(kPairs);
        fclA.resize(kPairs);
        fclB.resize(kPairs);
        std::size_t overlaps = 0, differ = 0;
        for (std::size_t i = 0; i < kPairs; ++i)
        {
            const Eigen::Vector3d c(offset(rng), offset(rng), offset(rng));
            make(c, qvA[i], fclA[i]);
            make(c + Eigen::Vector3d(near(rng), near(rng), near(rng)), qvB[i], fclB[i]);
            const bool qvOverlap = !qvA[i].IsOutside(qvB[i]);
            overlaps += qvOverlap;
            differ += qvOverlap != fclA[i].overlap(fclB[i]);
        }
        overlapShare = static_cast<double>(overlaps) / kPairs;
        disagreements = static_cast<double>(differ);
    }
};

const BoxPairs& ThePairs()
{
    static const BoxPairs p;
    return p;
}

void BM_ObbOverlap_QvOBB(benchmark::State& state)
{
    const BoxPairs& p = ThePairs();
    for (auto _ : state)
    {
        std::int64_t overlaps = 0;
        std::size_t k = 0;
        for (std::int64_t n = 0; n < kOverlapTests; ++n)
        {
            overlaps += !p.qvA[k].IsOutside(p.qvB[k]);
            k = (k + 1) & (kPairs - 1);
        }
        benchmark::DoNotOptimize(overlaps);
    }
    state.SetItemsProcessed(state.iterations() * kOverlapTests);
    state.counters["overlap_share"] = p.overlapShare;
}

void BM_ObbOverlap_FclOBBd(benchmark::State& state)
{
    const BoxPairs& p = ThePairs();
    for (auto _ : state)
    {
        std::int64_t overlaps = 0;
        std::size_t k = 0;
        for (std::int64_t n = 0; n < kOverlapTests; ++n)
        {
            overlaps += p.fclA[k].overlap(p.fclB[k]);
            k = (k + 1) & (kPairs - 1);
        }
        benchmark::DoNotOptimize(overlaps);
    }
    state.SetItemsProcessed(state.iterations() * kOverlapTests);
    state.counters["overlap_share"] = p.overlapShare;
    // FCL pads |R| by 1e-6, so a few near-touching pairs may answer differently.
    state.counters["disagreements"] = p.disagreements;
}

} // namespace

BENCHMARK(BM_TransformPoints_QvMatrix)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TransformPoints_EigenAffine3d)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ObbOverlap_QvOBB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ObbOverlap_FclOBBd)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
