// SPDX-License-Identifier: GPL-3.0-or-later
// The case document's part of a scheme's gums: frames from the model's jaws, a gum
// pair for every step, and step 0 shown (or taken from the model's own gums).
#pragma once

class QvScheme;

// Clears the scheme's gum store, sets its frames from the case model's jaws, builds
// the gums of every step (step 0 too when includeStep0) and then shows step 0's gums
// in the model, or, without step 0, stores the model's own gums as step 0. Touches
// only the scheme, its model and their meshes, so it may run off the main thread
// while nothing else uses them. False without a model or when no gum was built.
bool PrepareSchemeGums(QvScheme& scheme, bool includeStep0);
