// SPDX-License-Identifier: GPL-3.0-or-later
// A counted busy overlay: a half-transparent grey cover with a spinner in its centre
// that swallows the mouse while shown and stays until every show is matched by a
// hide. While shown it is a child of the widget it covers (and goes with it), so
// owners hold it through a QPointer. GUI thread only.
#pragma once

#include <QPointer>
#include <QWidget>

class QTimer;

class RVProgressIndicator : public QWidget {
    Q_OBJECT
public:
    explicit RVProgressIndicator(QWidget* parent = nullptr);

    // The widget to cover; when null at show time, the active window.
    void setContentView(QWidget* view) { m_contentView = view; }
    QWidget* contentView() const { return m_contentView; }
    qint64 displayCount() const { return m_displayCount; }
    bool isSpinning() const;

    void show();
    void hide();

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool event(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void Detached();

    QPointer<QWidget> m_contentView;
    qint64 m_displayCount = 0;
    QTimer* m_spin;
    int m_angle = 0;
};
