// SPDX-License-Identifier: GPL-3.0-or-later
// The busy animation over the design window: the resources "loading1.png",
// "loading2.png" ... up to the first missing number, one frame every 50 ms, from
// creation until stopLoading. Without frames it shows nothing and keeps running; a
// frame that cannot be read shows nothing for its turn. GUI thread only.
#pragma once

#include <QImage>
#include <QList>
#include <QTimer>
#include <QWidget>

class LoadingView : public QWidget {
    Q_OBJECT
public:
    static constexpr int kFrameIntervalMs = 50;

    // Starts at once, showing the first frame.
    explicit LoadingView(QWidget* parent = nullptr);

    // The last frame stays shown. Harmless when stopped already.
    void stopLoading();
    bool isLoading() const { return m_loadingTimer.isActive(); }
    // Advances to the next frame (the timer's tick).
    void OnLoadingTime();

    const QList<QImage>& frames() const { return m_arrImages; }
    // Index of the frame shown, -1 before the first or without frames.
    qsizetype shownFrame() const { return m_shown; }
    // Resource paths of the frames read.
    const QStringList& framePaths() const { return m_paths; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void initImages();

    QTimer m_loadingTimer;
    qsizetype m_nImgIndex = 0;
    qsizetype m_shown = -1;
    QList<QImage> m_arrImages;
    QStringList m_paths;
};
