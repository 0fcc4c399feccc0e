// SPDX-License-Identifier: GPL-3.0-or-later
// The fixed-function OpenGL and GLU declarations the renderer uses, with the ARB
// vertex-buffer entry points declared as functions (they are called directly).
#pragma once

#ifndef GL_GLEXT_PROTOTYPES
#define GL_GLEXT_PROTOTYPES 1
#endif
#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glu.h>
