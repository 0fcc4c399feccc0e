// SPDX-License-Identifier: GPL-3.0-or-later
#include "testing/QtScreens.h"

#include <QDir>
#include <QHash>
#include <QPixmap>
#include <QWidget>

namespace screens {

QString PathOf(const QString& name)
{
    return QStringLiteral(RIVELA_SCREENS_DIR "/") + name + QStringLiteral(".png");
}

QImage Save(QWidget& widget, const QString& name)
{
    QDir().mkpath(QStringLiteral(RIVELA_SCREENS_DIR));
    const QImage image = widget.grab().toImage();
    if (!image.isNull())
        image.save(PathOf(name));
    return image;
}

int InkPixels(const QImage& image, const QRect& region)
{
    const QRect r = region.isNull() ? image.rect() : region.intersected(image.rect());
    QHash<QRgb, int> counts;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            ++counts[image.pixel(x, y) | 0xff000000u];
    QRgb background = 0;
    int most = -1;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (it.value() > most) {
            most = it.value();
            background = it.key();
        }
    int ink = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) {
            const QRgb p = image.pixel(x, y);
            const int d = std::abs(qRed(p) - qRed(background)) + std::abs(qGreen(p) - qGreen(background)) +
                          std::abs(qBlue(p) - qBlue(background));
            if (d > 96)
                ++ink;
        }
    return ink;
}

} // namespace screens
