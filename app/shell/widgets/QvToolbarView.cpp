// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/shell/widgets/QvToolbarView.h"

#include <QPainter>

namespace {

// Draws its image stretched over the whole button, each axis on its own.
class StretchedImageButton : public QAbstractButton {
public:
    StretchedImageButton(const QImage& image, QWidget* parent) : QAbstractButton(parent), m_image(image) {}

protected:
    void paintEvent(QPaintEvent*) override
    {
        if (m_image.isNull())
            return;
        QPainter painter(this);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(rect(), m_image);
    }

private:
    QImage m_image;
};

} // namespace

void QvToolbarView::configureImages(const QList<QImage>& images)
{
    if (images.isEmpty())
        return;
    const qsizetype n = images.size();
    const double s = images.first().height();
    const double y0 = (height() - s) / 2;
    // The vertical margin is added to the horizontal start as well.
    const double x0 = (width() - n * s) / 2 + (height() - s) / 2;
    for (qsizetype i = 0; i < n; ++i) {
        auto* button = new StretchedImageButton(images[i], this);
        button->setGeometry(QRectF(x0 + i * s, y0, s, s).toRect());
        connect(button, &QAbstractButton::clicked, this, [this, button] { buttonAction(button); });
        button->show();
        m_buttonArray.append(button);
    }
}

void QvToolbarView::buttonAction(QAbstractButton* sender)
{
    if (m_block)
        m_block(m_buttonArray.indexOf(sender));
}
