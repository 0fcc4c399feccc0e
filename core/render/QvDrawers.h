// SPDX-License-Identifier: GPL-3.0-or-later
// The drawers of the scene's entity kinds. Each writes its own stencil value, so a
// pixel read back names the kind of entity under it.
#pragma once

#include <cstdint>

#include "core/render/QvDrawer.h"

class QvMesh;
class QvMatrix;

// Stencil values by entity kind.
inline constexpr std::int32_t kQvStencilMesh = 1;
inline constexpr std::int32_t kQvStencilTooth = 2;
inline constexpr std::int32_t kQvStencilGum = 3;
inline constexpr std::int32_t kQvStencilJaw = 4;
inline constexpr std::int32_t kQvStencilJawBone = 5;
inline constexpr std::int32_t kQvStencilAttachment = 6;
inline constexpr std::int32_t kQvStencilBracket = 7;
inline constexpr std::int32_t kQvStencilVirtualTooth = 12;

// Ghost alphas.
inline constexpr unsigned char kQvToothGhostAlpha = 130;
inline constexpr unsigned char kQvRootGhostAlpha = 170;
inline constexpr unsigned char kQvGhostAlpha = 60;

class QvMeshDrawer : public QvDrawer
{
public:
    void Draw(QvEntity* entity, QvViewDrawInfo* drawInfo) override;
    void DrawSelect(QvEntity*, QvGDIPoint*, QvViewDrawInfo*) override {}
};

class QvToothDrawer : public QvDrawer
{
public:
    void Draw(QvEntity* entity, QvViewDrawInfo* drawInfo) override;
    void DrawSelect(QvEntity* entity, QvGDIPoint* pickPoint, QvViewDrawInfo* drawInfo) override;
};

class QvGumDrawer : public QvDrawer
{
public:
    void Draw(QvEntity* entity, QvViewDrawInfo* drawInfo) override;
    void DrawSelect(QvEntity*, QvGDIPoint*, QvViewDrawInfo*) override {}
};

class QvJawDrawer : public QvDrawer
{
public:
    void Draw(QvEntity* entity, QvViewDrawInfo* drawInfo) override;
    void DrawSelect(QvEntity*, QvGDIPoint*, QvViewDrawInfo*) override {}
};

class QvJawBoneDrawer : public QvDrawer
{
public:
    void Draw(QvEntity* entity, QvViewDrawInfo* drawInfo) override;
    void DrawSelect(QvEntity*, QvGDIPoint*, QvViewDrawInfo*) override {}
};

class QvAttachmentDrawer : public QvDrawer
{
public:
    void Draw(QvEntity* entity, QvViewDrawInfo* drawInfo) override;
    void DrawSelect(QvEntity*, QvGDIPoint*, QvViewDrawInfo*) override {}
};

class QvBracketDrawer : public QvDrawer
{
public:
    void Draw(QvEntity* entity, QvViewDrawInfo* drawInfo) override;
    void DrawSelect(QvEntity* entity, QvGDIPoint* pickPoint, QvViewDrawInfo* drawInfo) override;
};

class QvToothVirtualDrawer : public QvDrawer
{
public:
    void Draw(QvEntity* entity, QvViewDrawInfo* drawInfo) override;
    void DrawSelect(QvEntity* entity, QvGDIPoint* pickPoint, QvViewDrawInfo* drawInfo) override;
};
