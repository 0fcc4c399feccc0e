// SPDX-License-Identifier: GPL-3.0-or-later
// The fixed palette of the 3-D window and the OpenGL material presets of every
// drawn entity kind. Both are plain constants built before the first frame.
#pragma once

#include <cstdint>

#include "core/base/QvColor.h"

// ---- Palette ------------------------------------------------------------------

const QvColor& GetHoverColor();
void SetHoverColor(const QvColor& color);
const QvColor& GetSelectedColor();
const QvColor& GetGhostColor();
// Attachments of the categories without a colour of their own.
const QvColor& GetAttachmentColor();
// Category 3.
const QvColor& GetAttachmentGreenColor();
// Categories 6 and 7.
const QvColor& GetAttachmentBlueColor();
// Category 4: green for the power attachment's second mesh, else the default red.
const QvColor& GetAttachmentColorByFlag(bool flag);
const QvColor& GetGreenColor();

// ---- Materials ------------------------------------------------------------------

class QvMaterial
{
public:
    // Each array holds R, G, B, A in 0..255.
    QvMaterial(const std::int32_t ambient[4], const std::int32_t diffuse[4], const std::int32_t specular[4],
               const std::int32_t emission[4], float shininess);

    // Disables colour material, so a following glColor leaves the material alone,
    // then sets emission, ambient, diffuse, specular and shininess on both faces.
    void Apply() const;

    std::int32_t m_ambient[4];
    std::int32_t m_diffuse[4];
    std::int32_t m_specular[4];
    std::int32_t m_emission[4];
    float m_shininess;
};

enum class QvMaterialPreset
{
    Gum,
    Plain,
    Selected,
    PlainCopy,
    Tooth,
    ToothState2,
    ToothState3,
    ToothState5,
    ToothFlagged,
    ToothAlternative,
    Attachment,
    Root,
    JawBone,
    Bracket,
};

inline constexpr int kQvMaterialPresetCount = 14;

const QvMaterial& GetMaterial(QvMaterialPreset preset);
