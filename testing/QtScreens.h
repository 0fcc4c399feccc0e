// SPDX-License-Identifier: GPL-3.0-or-later
// Screenshots of the windows tests open, written into the build tree's screens/
// folder for people to look at.
#pragma once

#include <QImage>
#include <QString>

class QWidget;

namespace screens {

// Grabs the widget as drawn now and writes screens/NAME.png; answers the image
// (null when the widget could not be grabbed) so tests can check what was drawn.
QImage Save(QWidget& widget, const QString& name);

// Path of screens/NAME.png.
QString PathOf(const QString& name);

// Number of pixels that differ clearly from the most common colour: a loose
// "something was drawn here" check.
int InkPixels(const QImage& image, const QRect& region = {});

} // namespace screens
