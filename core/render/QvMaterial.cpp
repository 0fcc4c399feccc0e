// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/render/QvMaterial.h"

#include <vector>

#include "core/render/QvGL.h"

namespace
{
QvColor g_hoverColor(255, 255, 0);
const QvColor g_selectedColor(255, 0, 0);
const QvColor g_ghostColor(120, 255, 120);
const QvColor g_attachmentColor(222, 112, 112);
const QvColor g_attachmentGreenColor(40, 222, 40);
const QvColor g_attachmentBlueColor(0, 194, 255);
// Category 4 keeps values of its own, apart from the other attachment colours.
const QvColor g_attachmentFlagTrue(40, 222, 40);
const QvColor g_attachmentFlagFalse(222, 112, 112);
const QvColor g_greenColor(0, 255, 0);

struct PresetValues
{
    std::int32_t ambient[4];
    std::int32_t diffuse[4];
    std::int32_t specular[4];
    std::int32_t emission[4];
    float shininess;
};

// In the order of QvMaterialPreset.
constexpr PresetValues kPresets[kQvMaterialPresetCount] = {
    {{33, 33, 33, 128}, {33, 33, 33, 128}, {38, 13, 13, 25}, {153, 104, 102, 255}, 128.0f},      // gum
    {{153, 153, 153, 153}, {178, 178, 178, 255}, {38, 33, 30, 255}, {0, 0, 0, 255}, 10.0f},     // plain
    {{153, 153, 153, 153}, {214, 164, 76, 255}, {64, 64, 64, 255}, {0, 0, 0, 255}, 10.0f},      // selected
    {{153, 153, 153, 153}, {178, 178, 178, 255}, {38, 33, 30, 255}, {0, 0, 0, 255}, 10.0f},     // plain copy
    {{50, 50, 50, 153}, {60, 60, 60, 255}, {0, 0, 0, 255}, {153, 143, 133, 255}, 10.0f},        // tooth
    {{128, 128, 128, 153}, {115, 115, 115, 255}, {51, 51, 51, 255}, {0, 0, 0, 255}, 10.0f},     // tooth state 2
    {{128, 128, 128, 153}, {128, 128, 230, 255}, {51, 51, 51, 255}, {0, 0, 0, 255}, 10.0f},     // tooth state 3
    {{128, 128, 128, 153}, {64, 128, 128, 255}, {51, 51, 51, 255}, {0, 0, 0, 255}, 10.0f},      // tooth state 5
    {{128, 128, 128, 153}, {153, 153, 153, 255}, {51, 51, 51, 255}, {0, 0, 0, 255}, 10.0f},     // tooth flagged
    {{110, 110, 110, 153}, {60, 60, 60, 255}, {43, 43, 43, 255}, {153, 153, 153, 255}, 128.0f}, // tooth alternative
    {{110, 110, 110, 153}, {255, 0, 0, 255}, {0, 0, 0, 255}, {0, 0, 0, 255}, 10.0f},            // attachment
    {{110, 110, 110, 153}, {60, 60, 60, 255}, {43, 43, 43, 255}, {100, 100, 50, 200}, 10.0f},   // root
    {{153, 153, 153, 153}, {178, 178, 178, 255}, {38, 33, 30, 255}, {0, 0, 0, 255}, 10.0f},     // jaw bone
    {{110, 110, 110, 153}, {255, 0, 0, 255}, {0, 0, 0, 255}, {0, 0, 0, 255}, 10.0f},            // bracket
};

void ToFloats(const std::int32_t in[4], GLfloat out[4])
{
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<GLfloat>(in[i]) / 255.0f;
}
} // namespace

const QvColor& GetHoverColor() { return g_hoverColor; }
void SetHoverColor(const QvColor& color) { g_hoverColor = color; }
const QvColor& GetSelectedColor() { return g_selectedColor; }
const QvColor& GetGhostColor() { return g_ghostColor; }
const QvColor& GetAttachmentColor() { return g_attachmentColor; }
const QvColor& GetAttachmentGreenColor() { return g_attachmentGreenColor; }
const QvColor& GetAttachmentBlueColor() { return g_attachmentBlueColor; }
const QvColor& GetAttachmentColorByFlag(bool flag) { return flag ? g_attachmentFlagTrue : g_attachmentFlagFalse; }
const QvColor& GetGreenColor() { return g_greenColor; }

QvMaterial::QvMaterial(const std::int32_t ambient[4], const std::int32_t diffuse[4], const std::int32_t specular[4],
                       const std::int32_t emission[4], float shininess)
    : m_shininess(shininess)
{
    for (int i = 0; i < 4; ++i)
    {
        m_ambient[i] = ambient[i];
        m_diffuse[i] = diffuse[i];
        m_specular[i] = specular[i];
        m_emission[i] = emission[i];
    }
}

void QvMaterial::Apply() const
{
    glDisable(GL_COLOR_MATERIAL);
    GLfloat v[4];
    ToFloats(m_emission, v);
    glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, v);
    ToFloats(m_ambient, v);
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, v);
    ToFloats(m_diffuse, v);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, v);
    ToFloats(m_specular, v);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, v);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, m_shininess);
}

const QvMaterial& GetMaterial(QvMaterialPreset preset)
{
    static const auto presets = [] {
        std::vector<QvMaterial> list;
        list.reserve(kQvMaterialPresetCount);
        for (const PresetValues& p : kPresets)
            list.emplace_back(p.ambient, p.diffuse, p.specular, p.emission, p.shininess);
        return list;
    }();
    const int index = static_cast<int>(preset);
    return presets[(index >= 0 && index < kQvMaterialPresetCount) ? static_cast<std::size_t>(index) : 0];
}
