// SPDX-License-Identifier: GPL-3.0-or-later
// A GL texture from packed pixel rows: clamped at the edges, linear filtering without
// mipmaps, at the image's own size. The unpack alignment is 1 while uploading and
// restored afterwards.
#pragma once

#include <cstdint>

// rgba: 4 bytes a pixel, else 3. The name, or 0 for no pixels.
std::uint32_t QvCreateTexture(int width, int height, bool rgba, const unsigned char* pixels);
