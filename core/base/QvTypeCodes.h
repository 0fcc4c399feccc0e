// SPDX-License-Identifier: GPL-3.0-or-later
// Type codes of the scene-object classes. The case model files entities by them,
// the renderer picks drawers by them, and the data files store objects whose kind
// is told by them, so the values never change. Several classes share a value.
#pragma once

#include <cstdint>

using QvTypeCode = std::uint32_t;

// Roots and mesh elements.
inline constexpr QvTypeCode kQvTypeObject = 1;
inline constexpr QvTypeCode kQvTypeEntity = 2;
inline constexpr QvTypeCode kQvTypeMesh = 4; // also QvRoot, which keeps its base's code
inline constexpr QvTypeCode kQvTypeVertex = 0x8;
inline constexpr QvTypeCode kQvTypeEdge = 0x10;
inline constexpr QvTypeCode kQvTypeFace = 0x20;

// Dental entities.
inline constexpr QvTypeCode kQvTypeJaw = 0x40;
inline constexpr QvTypeCode kQvTypeTooth = 0x80;
inline constexpr QvTypeCode kQvTypeGum = 0x100;
inline constexpr QvTypeCode kQvTypeToothList = 0x400;
inline constexpr QvTypeCode kQvTypeJawBone = 0x800;
inline constexpr QvTypeCode kQvTypeHingeAxis = 0x801;
inline constexpr QvTypeCode kQvTypeToothBase = 0x40000040;
inline constexpr QvTypeCode kQvTypeVirtualTooth = 0x40000080;
inline constexpr QvTypeCode kQvTypeToothEmbeded = 0x40000000;
inline constexpr QvTypeCode kQvTypeAirway = 0x20001000;
inline constexpr QvTypeCode kQvTypeEntityAnonymous = 0x10080000;

// Brackets and attachments: the placed object and its geometry share a code.
inline constexpr QvTypeCode kQvTypeBracket = 0x20000001;     // QvBracket, QvBracketGeo
inline constexpr QvTypeCode kQvTypeAttachment = 0x10000000;  // QvAttachment, QvAttachGeo, QvAttachGeoStd
inline constexpr QvTypeCode kQvTypeAttachGeoStdCZ = 0x10000004; // also QvAttachGeoStdPower
inline constexpr QvTypeCode kQvTypeAttachGeoStdSP = 0x10000008;
inline constexpr QvTypeCode kQvTypeAttachGeoStdSJ = 0x10000010;
inline constexpr QvTypeCode kQvTypeAttachGeoStdSD = 0x10000020;
inline constexpr QvTypeCode kQvTypeAttachGeoStdPD = 0x10000040;
inline constexpr QvTypeCode kQvTypeAttachGeoStdNZ = 0x10000080;
inline constexpr QvTypeCode kQvTypeAttachGeoPressureSpot = 0x10000100;
inline constexpr QvTypeCode kQvTypeAttachGeoPressureZone = 0x10000200;
inline constexpr QvTypeCode kQvTypeAttachGeoLowerDev = 0x10000800;
inline constexpr QvTypeCode kQvTypeAttachGeoCutInstruction = 0x10001000;
inline constexpr QvTypeCode kQvTypeAttachGeoLingualButton = 0x10002000; // also QvAttachGeoTowingHook

// Auxiliary drawing objects.
inline constexpr QvTypeCode kQvTypeAuxObject = 0x1000;
inline constexpr QvTypeCode kQvTypeAuxPoint = 0x2000;
inline constexpr QvTypeCode kQvTypeAuxArrow = 0x4000;
inline constexpr QvTypeCode kQvTypeAuxFace = 0x8000;
inline constexpr QvTypeCode kQvTypeAuxPlane = 0x20000;
inline constexpr QvTypeCode kQvTypeAuxPolyline = 0x40000;
inline constexpr QvTypeCode kQvTypeAuxTorus = 0x80000;
inline constexpr QvTypeCode kQvTypeAuxLine = 0x200000;
inline constexpr QvTypeCode kQvTypeAuxText = 0x400000;
inline constexpr QvTypeCode kQvTypeAuxPipeLine = 0x800000;
inline constexpr QvTypeCode kQvTypeAuxBillBoard = 0x2000000;
inline constexpr QvTypeCode kQvTypeAuxTexture = 0x8000000;
inline constexpr QvTypeCode kQvTypeAuxMarker = 0x10002000;
inline constexpr QvTypeCode kQvTypeAuxGrid = 0x10004000;
inline constexpr QvTypeCode kQvTypeAuxNotation = 0x10010000;
inline constexpr QvTypeCode kQvTypeAuxText3D = 0x10020000;
inline constexpr QvTypeCode kQvTypeAuxPlane2D = 0x10040000;
inline constexpr QvTypeCode kQvTypeAuxTransform = 0x10400000;
