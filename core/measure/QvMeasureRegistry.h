// SPDX-License-Identifier: GPL-3.0-or-later
// Connects the image measures to the case model and the file layer: the model's
// image-measure operations (factory, lookups, the tracing's landmarks and record)
// and the measurement-file body. The application calls it once at start-up.
#pragma once

void QvRegisterImageMeasures();
// Removes both again (for tests).
void QvUnregisterImageMeasures();
