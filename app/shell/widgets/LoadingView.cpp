// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/shell/widgets/LoadingView.h"

#include "app/platform/Folders.h"

#include <QPainter>

LoadingView::LoadingView(QWidget* parent) : QWidget(parent)
{
    initImages();
    m_loadingTimer.setInterval(kFrameIntervalMs);
    connect(&m_loadingTimer, &QTimer::timeout, this, [this] { OnLoadingTime(); });
    m_loadingTimer.start();
    OnLoadingTime();
}

void LoadingView::initImages()
{
    for (long n = 1;; ++n) {
        const QString path = platform::PathForResource(QStringLiteral("loading%1").arg(n), QStringLiteral("png"));
        if (path.isNull())
            break;
        m_paths.append(path);
        m_arrImages.append(QImage(path));
    }
}

void LoadingView::OnLoadingTime()
{
    if (m_arrImages.isEmpty())
        return;
    if (m_nImgIndex >= m_arrImages.size())
        m_nImgIndex = 0;
    m_shown = m_nImgIndex++;
    update();
}

void LoadingView::stopLoading()
{
    m_loadingTimer.stop();
}

void LoadingView::paintEvent(QPaintEvent*)
{
    if (m_shown < 0 || m_shown >= m_arrImages.size() || m_arrImages[m_shown].isNull())
        return;
    // Like an image view: scaled down to fit when larger, centred, aspect kept.
    const QImage& frame = m_arrImages[m_shown];
    QSizeF size = frame.size();
    if (size.width() > width() || size.height() > height())
        size.scale(QSizeF(this->size()), Qt::KeepAspectRatio);
    const QRectF target((width() - size.width()) / 2, (height() - size.height()) / 2, size.width(), size.height());
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, frame);
}
