// SPDX-License-Identifier: GPL-3.0-or-later
// Point-list helpers of the gum builders: chord parameters, even values, resampling,
// nearest and best-aligned points. No state; none reports failure. Outside the lists a
// builder passes (empty lists, one point, zero length) each answers something sound
// instead of reading past a list or dividing by zero.
#pragma once

#include <vector>

#include "core/geometry/QvPoint.h"

class QvMesh;

// params replaced: 0, running sum of segment / total, 1 exactly. One point gives [1];
// a chain of zero length gives i / (n - 1); an empty list gives nothing.
void GumChordParameters(const std::vector<QvPoint>& points, std::vector<double>& params);
// Appends count values min(b, a + i (b - a) / (count - 1)); count 1 appends a.
void GumEvenValues(int count, std::vector<double>& values, double a, double b);
// Appends p0 (1 - t) + p1 t for every t.
void GumLerpPoints(const QvPoint& p0, const QvPoint& p1, const std::vector<double>& ts, std::vector<QvPoint>& out);
// Appends count points evenly spaced on the segment, both ends included.
void GumSegmentSamples(const QvPoint& p0, const QvPoint& p1, int count, std::vector<QvPoint>& out);
// Appends the polyline at the parameters: the first and last points exactly, the
// interior ones by chord length (clamped into the end segments). max(2, |ts|) points;
// a one-point list is repeated, an empty one appends nothing.
void GumResampleAt(const std::vector<QvPoint>& points, const std::vector<double>& ts, std::vector<QvPoint>& out);
// Appends count points evenly spaced by arc length.
void GumResampleEven(const std::vector<QvPoint>& points, int count, std::vector<QvPoint>& out);
// Sum of the segment lengths; 0 for fewer than two points.
double GumPolylineLength(const std::vector<QvPoint>& points);
// GumResampleEven into a fresh list.
std::vector<QvPoint> GumResampled(const std::vector<QvPoint>& points, int count);
// Points first .. last, both clamped into the list (last not below first); empty for an empty list.
std::vector<QvPoint> GumSlice(const std::vector<QvPoint>& points, int first, int last);
// Appends, per index of idxB, the midpoint of B's point and the reversed A chain
// resampled at B's chord parameters. Nothing for an empty idxB.
void GumMiddleChain(const std::vector<QvPoint>& pointsA, const std::vector<int>& idxA,
                    const std::vector<QvPoint>& pointsB, const std::vector<int>& idxB, std::vector<QvPoint>& out);
// Index of the point seen from origin most nearly towards target (skip excluded; the
// first of equal cosines); -1 when empty or every candidate lies exactly opposite.
int GumMostAlignedPoint(const QvPoint& origin, const QvPoint& target, const std::vector<QvPoint>& points, int skip);
// Nearest point (first of equal distances); -1 for an empty list.
int GumNearestPoint(const QvPoint& p, const std::vector<QvPoint>& points);
// Nearest among first .. last (last clamped to the list); -1 for an empty range.
int GumNearestPointInRange(const QvPoint& p, const std::vector<QvPoint>& points, int first, int last);
// Position within [first, last) of the listed mesh vertex nearest to p; -1 when empty.
int GumNearestVertex(const QvPoint& p, const QvMesh& mesh, const int* first, const int* last);
// The ends of the largest forward gap between ring indices, ordered so that the
// forward run from first to second is at most half the ring. One distinct entry
// gives it twice; an empty list gives -1, -1.
void GumLargestRingGap(const std::vector<int>& indices, int n, int& first, int& second);
