#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Expected cephalometric measures of a synthetic tracing, worked out independently of
the C++ code with Python's math module; writes cep_expected.csv beside this script.

The tracing lies on a 2000 x 2400 pixel radiograph (image rectangle 0, 0, 2000, 2400);
positions below are pixels with y counted down from the top, face to the right. The
calibration points are 100 pixels apart (10 mm), so 0.1 mm per pixel. A and B are
placed so that SNA is 82.8 and SNB 80.1 degrees.

CSV rows:
  landmark,<id>,<ratio x>,<ratio y>
  item,<analysis>,<order>,<id>,<value>,<min>,<max>,<type>,<group>
analysis: standard, basic, complex (complex then Ricketts), alternate, combined
(the combined angles after the standard calculator).
"""
import math
import os

WIDTH, HEIGHT = 2000, 2400
PI = 3.14159265359
TWO_PI = 6.28318530718
SNA, SNB = 82.8, 80.1

CAL0, CAL1, CM, SN, UL, S, N, A, B, Po, P, O, Gn, Me, T2 = 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14
UI, UIA, LI, LIA, PNS, Prn, Pos, LL, Pt, Ba, Co, Ar, T1, ANS = 15, 16, 17, 18, 19, 22, 23, 24, 27, 28, 29, 30, 31, 32
G, Ns, Bn, STA, Ss, Si, STB, STG, Mes, K = 33, 34, 35, 36, 37, 38, 39, 40, 41, 42
R1, R2, R3, R4, Dc, U6, L6, U6D, L6D, Ld, LIL, Spr, UIL = 43, 44, 45, 46, 47, 48, 49, 50, 51, 52, 53, 54, 55
BPoMid, RamusCentre, Go = 56, 57, 58


def sub(a, b):
    return (a[0] - b[0], a[1] - b[1])


def add(a, b):
    return (a[0] + b[0], a[1] + b[1])


def mul(a, f):
    return (a[0] * f, a[1] * f)


def dot(a, b):
    return a[0] * b[0] + a[1] * b[1]


def cross(a, b):
    return a[0] * b[1] - a[1] * b[0]


def length(a):
    return math.hypot(a[0], a[1])


def mid(a, b):
    return ((a[0] + b[0]) / 2, (a[1] + b[1]) / 2)


def rotate(v, degrees):
    r = math.radians(degrees)
    return (v[0] * math.cos(r) - v[1] * math.sin(r), v[0] * math.sin(r) + v[1] * math.cos(r))


def ccw_degrees(u, v):
    """Angle turning u into v counter-clockwise (x right, y as given), [0, 360)."""
    a = math.atan2(cross(u, v), dot(u, v))
    if a < 0:
        a += TWO_PI
    return a * 180 / PI


def foot(x, a, d):
    """Foot of x on the line through a with direction d."""
    t = dot(sub(x, a), d) / dot(d, d)
    return add(a, mul(d, t))


def line_distance(x, a, d):
    return abs(cross(d, sub(x, a))) / length(d)


def meet(a, da, c, dc):
    """Crossing of two lines given by point and direction (Cramer's rule)."""
    den = cross(da, dc)
    if abs(den) < 1e-12:
        return None
    t = cross(sub(c, a), dc) / den
    return add(a, mul(da, t))


def r1(v):
    return float("%.1f" % v)


# ---- The tracing --------------------------------------------------------------------------

L = {
    CAL0: (150, 300), CAL1: (150, 400),
    S: (600, 900), P: (420, 1000), O: (1160, 1010), Pt: (700, 1060), Ba: (520, 1250), Ar: (560, 1150),
    Co: (540, 1090), T1: (600, 1450), T2: (830, 1800), Me: (1330, 2010), Gn: (1372, 1980), Po: (1395, 1900),
    ANS: (1420, 1240), PNS: (900, 1260), UI: (1402, 1478), UIA: (1318, 1236), LI: (1384, 1462), LIA: (1292, 1714),
    U6: (1156, 1488), U6D: (1052, 1476), L6: (1150, 1502), L6D: (1040, 1516),
    R1: (740, 1350), R2: (590, 1330), R3: (690, 1150), R4: (660, 1600), Dc: (560, 1100),
    G: (1340, 700), Ns: (1360, 820), Bn: (1350, 1000), Prn: (1560, 1170), CM: (1500, 1250), SN: (1470, 1290),
    STA: (1460, 1330), Ss: (1450, 1350), UL: (1500, 1420), LL: (1480, 1530), Si: (1440, 1600), STB: (1450, 1640),
    Pos: (1460, 1880), STG: (1430, 1960), Mes: (1350, 2060), K: (1300, 2040),
    Ld: (1300, 1780), LIL: (1360, 1500), Spr: (1400, 1280), UIL: (1390, 1400),
}
L[N] = add(L[S], mul((math.cos(math.radians(-7)), math.sin(math.radians(-7))), 700))


def below_n(angle, distance):
    """The point at `distance` from N whose angle S-N-x is `angle`, below N."""
    ns = sub(L[S], L[N])
    ns = mul(ns, 1 / length(ns))
    for sign in (1, -1):
        x = add(L[N], mul(rotate(ns, sign * angle), distance))
        if x[1] > L[N][1]:
            return x
    raise AssertionError


L[A] = below_n(SNA, 560)
L[B] = below_n(SNB, 960)
L[BPoMid] = mid(L[B], L[Po])
# Ramus centre: the rectangle through R1, R2 across the Frankfort direction and R3, R4 along it.
v = sub(L[O], L[P])
L[RamusCentre] = mid(foot(L[R2], L[R3], v), foot(L[R1], L[R4], v))
L[Go] = meet(L[Ar], sub(L[T1], L[Ar]), L[Me], sub(L[T2], L[Me]))

SCALE = 10 / length(sub(L[CAL0], L[CAL1]))


# ---- Formulas -----------------------------------------------------------------------------

def a3(a, b, c):
    return ccw_degrees(sub(L[c], L[b]), sub(L[a], L[b]))


def a4(a, b, c, d):
    return ccw_degrees(sub(L[d], L[c]), sub(L[a], L[b]))


def crossing(a, b, c, d):
    return meet(L[a], sub(L[b], L[a]), L[c], sub(L[d], L[c]))


def a5(a, b, c, d, e):
    o = crossing(a, b, c, d)
    x = ccw_degrees(sub(L[e], o), sub(L[a], o))
    return 360 - x if x > 180 else x


def d2(a, b):
    return length(sub(L[a], L[b]))


def d3(a, b, c):
    return line_distance(L[a], L[b], sub(L[c], L[b]))


def d4(a, b, c, d):
    return length(sub(L[a], crossing(a, b, c, d)))


def d5(a, b, c, d, e):
    return length(sub(L[e], crossing(a, b, c, d)))


def sd(x, a, b):
    """Signed distance of x from line(a, b), positive on the side away from P."""
    f = foot(L[P], L[a], sub(L[b], L[a]))
    n = sub(f, L[P])
    n = mul(n, 1 / length(n))
    return dot(n, sub(L[x], L[a]))


def fold(raw, keep_sign=False):
    x = r1(raw)
    if x > 180:
        x -= 360
    return x if keep_sign else abs(x)


def angle(raw, keep_sign=False):
    return fold(raw, keep_sign)


def mm(pixels):
    return r1(pixels * SCALE)


def w(x):
    return x - 360 if x > 180 else x


# ---- Analyses -------------------------------------------------------------------------------

def standard():
    it = []
    it += [(0, angle(a3(S, N, A)), 78.8, 86.8, 0), (1, angle(a3(S, N, B)), 76.2, 84, 0),
           (2, angle(a3(B, N, A), True), 0.7, 4.7, 0), (3, angle(a4(P, O, N, Po)), 81.7, 89.1, 0),
           (4, angle(a4(Gn, S, P, O)), 59.2, 73.4, 0), (5, angle(a4(Me, T2, P, O)), 25.5, 36.7, 0),
           (6, angle(a4(Po, A, N, A)), 1.6, 10.4, 0), (7, angle(a4(S, N, UIA, UI)), 99.4, 112, 0),
           (8, mm(d3(UI, N, A)), 2.7, 7.5, 2), (9, angle(a4(N, A, UI, UIA)), 17.1, 28.5, 0),
           (10, angle(a4(LI, LIA, Me, T2)), 87.7, 100.1, 0), (11, mm(d3(LI, N, B)), 4.6, 8.8, 2),
           (12, angle(a4(LIA, LI, N, B)), 24.5, 36.1, 0), (14, angle(a3(UL, SN, CM)), 80, 110, 0),
           (18, angle(a3(Ar, S, N)), 118, 128, 0), (19, angle(a3(T1, Ar, S)), 137, 149, 0),
           (20, angle(a4(Me, T2, T1, Ar)), 123, 137, 0), (21, angle(a5(Ar, T1, Me, T2, N)), 52, 55, 0),
           (22, angle(a5(Me, T2, Ar, T1, N)), 70, 75, 0)]
    v = {i[0]: i[1] for i in it}
    it.append((23, v[18] + v[19] + v[20], 390, 402, 0))
    it += [(24, mm(d2(S, N)), 68, 74, 2), (25, mm(d2(S, Ar)), 29, 35, 2), (26, mm(d4(Ar, T1, Me, T2)), 39, 49, 2),
           (27, mm(d4(Me, T2, Ar, T1)), 66, 76, 2), (28, mm(d2(Me, N)), 116.5, 126.5, 2),
           (29, mm(d5(Me, T2, Ar, T1, S)), 72.5, 82.5, 2)]
    v = {i[0]: i[1] for i in it}
    it += [(30, v[25] / v[26], 0.75, 0.75, 4), (31, v[24] / v[27], 1, 1, 4), (32, v[29] / v[28], 0.61, 0.69, 4)]
    return [(i, x, lo, hi, t, 3) for (i, x, lo, hi, t) in it]


def basic():
    it = [(0, angle(a3(S, N, A)), 78.8, 85.8, 0), (1, angle(a3(S, N, B)), 74.7, 80.5, 0),
          (2, angle(a3(B, N, A), True), 3.3, 6.1, 0), (3, angle(a4(P, O, N, Po)), 80.1, 86.1, 0),
          (6, angle(a4(Po, A, N, A)), 7.1, 13.5, 0), (78, angle(a4(Me, T2, S, N)), 32.2, 39.4, 0),
          (5, angle(a4(Me, T2, P, O)), 27.4, 36.2, 0), (4, angle(a4(Gn, S, P, O)), 62.6, 68.4, 0),
          (7, angle(a4(S, N, UIA, UI)), 99.5, 110.1, 0), (9, angle(a4(N, A, UI, UIA)), 17.2, 27.6, 0),
          (8, mm(d3(UI, N, A)), 1.5, 4.7, 2), (13, angle(a4(UIA, UI, LI, LIA)), 116, 128, 0),
          (10, angle(a4(LI, LIA, Me, T2)), 89.5, 99.9, 0), (12, angle(a4(LIA, LI, N, B)), 27.7, 37.7, 0),
          (11, mm(d3(LI, N, B)), 4.5, 7.5, 2)]
    return [(i, x, lo, hi, t, 4) for (i, x, lo, hi, t) in it]


def complex_():
    it = [(18, angle(a3(Ar, S, N)), 118, 128, 0), (24, mm(d2(S, N)), 68, 74, 2), (25, mm(d2(S, Ar)), 29, 35, 2),
          (20, angle(a4(Me, T2, T1, Ar)), 123, 137, 0), (27, mm(d4(Me, T2, Ar, T1)), 66, 76, 2),
          (21, angle(a5(Ar, T1, Me, T2, N)), 52, 55, 0), (22, angle(a5(Me, T2, Ar, T1, N)), 70, 75, 0),
          (26, mm(d4(Ar, T1, Me, T2)), 39, 49, 2), (0, angle(a3(S, N, A)), 78.8, 86.8, 0),
          (1, angle(a3(S, N, B)), 76.2, 84, 0), (2, angle(a3(B, N, A), True), 0.7, 4.7, 0),
          (6, angle(a4(Po, A, N, A)), 1.6, 10.4, 0), (19, angle(a3(T1, Ar, S)), 137, 149, 0)]
    v = {i[0]: i[1] for i in it}
    it += [(23, v[18] + v[19] + v[20], 390, 402, 0), (31, v[24] / v[27], 1, 1, 4),
           (60, angle(a4(T2, Me, N, S)), 27, 39, 0), (61, mm(d5(Ar, T1, T2, Me, N)), 119.4, 127.4, 2),
           (62, mm(d2(S, Gn)), 119, 131, 2), (63, angle(a4(N, S, Po, N)), 75.5, 83.5, 0),
           (29, mm(d5(Me, T2, Ar, T1, S)), 72.5, 82.5, 2), (28, mm(d2(Me, N)), 116.5, 126.5, 2)]
    v = {i[0]: i[1] for i in it}
    mm_ = mid(L[L6], L[U6])
    mi = mid(L[LI], L[UI])
    it += [(32, v[29] / v[28], 0.61, 0.69, 4), (64, angle(a4(Gn, S, S, N)), 61.5, 72.5, 0),
           (10, angle(a4(LI, LIA, Me, T2)), 87.7, 100.1, 0), (65, angle(a4(LI, LIA, P, O)), 55.7, 72.7, 0),
           (66, sd(UI, N, Po) * SCALE, 3, 7, 2), (67, sd(LI, N, Po) * SCALE, -0.2, 3.8, 2),
           (7, angle(a4(S, N, UIA, UI)), 99.4, 112, 0),
           (68, ccw_degrees(sub(mm_, mi), sub(L[Go], L[Me])), 11.6, 21.6, 0),
           (13, angle(a4(UIA, UI, LI, LIA)), 116, 132.4, 0), (69, sd(UL, Pos, Prn) * SCALE, -6.7, -2.7, 2),
           (70, sd(LL, Pos, Prn) * SCALE, -4, 0, 2)]
    return [(i, x, lo, hi, t, 0) for (i, x, lo, hi, t) in it]


def ricketts():
    mm_ = mid(L[L6], L[U6])
    mi = mid(L[LI], L[UI])
    fol = sub(mi, mm_)

    def signed(a, b, negative):
        d = length(sub(a, b)) * SCALE
        return -d if negative else d

    it = []
    a, b = foot(L[U6D], mm_, fol), foot(L[L6D], mm_, fol)
    it.append((45, signed(a, b, a[0] < b[0]), -4, -2, 2))
    a, b = foot(L[UI], mm_, fol), foot(L[LI], mm_, fol)
    it.append((46, signed(a, b, a[0] < b[0]), 0, 5, 2))
    k = (-fol[1], fol[0])
    a, b = foot(L[UI], mm_, k), foot(L[LI], mm_, k)
    it.append((47, signed(a, b, a[1] < b[1]), 0.5, 4.5, 2))
    x = meet(L[LI], (0, 1), mm_, fol)
    d = line_distance(L[LI], mm_, fol) * SCALE
    it.append((48, -d if x[1] < L[LI][1] else d, -0.8, 3.2, 2))
    it.append((77, angle(a4(UIA, UI, LI, LIA)), 116, 132.4, 0))
    it.append((49, sd(UI, A, Po) * SCALE, 1.2, 5.8, 2))
    it.append((50, sd(LI, A, Po) * SCALE, -1.3, 3.3, 2))
    it.append((51, angle(a4(UI, UIA, A, Po)), 24, 32, 0))
    it.append((52, angle(a4(LIA, LI, A, Po)), 18, 26, 0))
    x = ccw_degrees(sub(L[O], L[P]), fol)
    it.append((53, 360 - x if x > 180 else x, 3.2, 13.2, 0))
    op = sub(L[P], L[O])
    it.append((75, length(sub(foot(L[Pt], L[O], op), foot(L[U6D], L[O], op))) * SCALE, 13, 19, 2))
    npo = sub(L[Po], L[N])
    x = meet(L[A], (1, 0), L[N], npo)
    d = line_distance(L[A], L[N], npo) * SCALE
    it.append((54, -d if L[A][0] < x[0] else d, -0.9, 3.1, 2))
    it.append((72, angle(a3(BPoMid, RamusCentre, ANS)), 41, 49, 0))
    it.append((5, angle(a4(Me, T2, P, O)), 25.5, 36.7, 0))
    it.append((55, angle(a4(N, A, P, O)), 87, 93, 0))
    it.append((56, angle(a4(Ba, N, Pt, Gn)), 86.5, 93.5, 0))
    it.append((57, angle(a4(P, O, N, Po)), 85, 91, 0))
    it.append((58, angle(a4(T2, Me, Po, N)), 64.5, 71.5, 0))
    f = foot(L[Pt], L[O], op)
    x = meet(L[P], (1, 0), L[Pt], sub(f, L[Pt]))
    d = length(sub(f, L[P])) * SCALE
    it.append((76, -d if L[P][0] < x[0] else d, -40.8, -36.4, 2))
    it.append((59, angle(a4(Ba, N, O, P)), 24.3, 30.3, 0))
    it.append((73, angle(a4(RamusCentre, Dc, P, O)), 73, 79, 0))
    it.append((74, angle(a4(RamusCentre, Dc, RamusCentre, BPoMid)), 25.2, 33.2, 0))
    it.append((71, sd(LL, Pos, Prn) * SCALE, -4, 0, 2))
    return [(i, x, lo, hi, t, 2) for (i, x, lo, hi, t) in it]


def alternate():
    it = [(18, angle(a3(Ar, S, N)), 118, 128, 0), (24, mm(d2(S, N)), 68, 74, 2), (25, mm(d2(S, Ar)), 29, 35, 2),
          (20, angle(a3(Me, T2, Ar)), 123, 137, 0), (27, mm(d2(Me, T2)), 66, 76, 2),
          (21, angle(a3(N, T2, Ar)), 52, 55, 0), (22, angle(a3(Me, T2, N)), 70, 75, 0),
          (26, mm(d2(Ar, T2)), 39, 49, 2), (0, angle(a3(S, N, A)), 78.8, 86.8, 0),
          (1, angle(a3(S, N, B)), 76.2, 84, 0), (6, angle(a3(Po, A, N)), 1.6, 10.4, 0),
          (19, angle(a3(T2, Ar, S)), 137, 149, 0)]
    v = {i[0]: i[1] for i in it}
    it += [(23, v[18] + v[19] + v[20], 390, 402, 0), (31, v[24] / v[27], 1, 1, 4),
           (35, angle(a4(N, S, T2, Me)), 27, 39, 0), (36, mm(d2(N, Gn)), 119, 127, 3),
           (37, mm(d2(S, Gn)), 119, 131, 3), (38, angle(a4(S, N, Po, N)), 75.5, 83.5, 0),
           (29, mm(d2(T2, S)), 70, 75, 3), (28, mm(d2(Me, N)), 70, 75, 3)]
    v = {i[0]: i[1] for i in it}
    it += [(32, v[29] / v[28], 0.62, 0.65, 4), (39, angle(a4(Gn, S, N, S)), 60, 73, 0),
           (10, angle(a4(LI, LIA, Me, T2)), 87.7, 100.1, 0), (40, angle(a4(LIA, LI, P, O)), 54, 74, 0),
           (41, angle(a4(UI, UIA, Po, N)), -1, 4, 0), (42, angle(a4(LIA, LI, Po, N)), 3, 7, 0),
           (7, angle(a4(S, N, UIA, UI)), 99.4, 112, 0), (13, angle(a4(UIA, UI, LI, LIA)), 116, 132.4, 0),
           (43, mm(d3(UL, Prn, Pos)), -4, 4, 3), (44, mm(d3(LL, Prn, Pos)), -7, -3, 3)]
    return [(i, x, lo, hi, t, 1) for (i, x, lo, hi, t) in it]


def combined(standard_items):
    val3 = next(x for (i, x, *_rest) in standard_items if i == 3)
    palatal = w(a4(PNS, ANS, O, P))
    return [(33, a4(A, B, Me, Gn) + palatal, 67.61, 78.05, 0, 0),
            (34, val3 + w(a4(B, A, N, Po)) + palatal, 77.06, 85.14, 0, 0)]


def main():
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "cep_expected.csv")
    rows = []
    for key in sorted(L):
        x, y = L[key]
        rows.append("landmark,%d,%r,%r" % (key, x / WIDTH, (HEIGHT - y) / HEIGHT))
    std = standard()
    analyses = [("standard", std), ("basic", basic()), ("complex", complex_() + ricketts()),
                ("alternate", alternate()), ("combined", combined(std))]
    for name, items in analyses:
        for order, (i, x, lo, hi, t, g) in enumerate(items):
            rows.append("item,%s,%d,%d,%r,%r,%r,%d,%d" % (name, order, i, x, lo, hi, t, g))
    with open(out, "w") as f:
        f.write("\n".join(rows) + "\n")


if __name__ == "__main__":
    main()
