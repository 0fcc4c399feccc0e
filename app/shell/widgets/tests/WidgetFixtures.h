// SPDX-License-Identifier: GPL-3.0-or-later
// Resource folders of drawn strips and frames, and synthetic mouse input.
#pragma once

#include "app/platform/Folders.h"

#include <QApplication>
#include <QEnterEvent>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QTemporaryDir>
#include <QWidget>

#include <gtest/gtest.h>

namespace fixtures {

// Colours of the four frames of every test strip: disabled, normal, over, pressed.
inline const QColor kFrameColours[4] = {QColor(160, 160, 160), QColor(40, 120, 220), QColor(40, 200, 120),
                                        QColor(220, 80, 40)};

// A w x h strip of four frames, each filled with its colour and marked with a
// white glyph so that screenshots show which frame is drawn.
inline QImage Strip(int w, int h, int glyph = 0)
{
    QImage strip(w, h, QImage::Format_ARGB32);
    strip.fill(Qt::transparent);
    QPainter painter(&strip);
    const int f = w / 4;
    for (int i = 0; i < 4; ++i) {
        const QRect frame(i * f, 0, f, h);
        painter.setPen(Qt::NoPen);
        painter.setBrush(kFrameColours[i]);
        painter.drawRoundedRect(frame.adjusted(1, 1, -1, -1), 4, 4);
        painter.setPen(QPen(Qt::white, 2));
        const QRect inner = frame.adjusted(f / 4, h / 4, -f / 4, -h / 4);
        if (glyph % 3 == 0)
            painter.drawEllipse(inner);
        else if (glyph % 3 == 1)
            painter.drawRect(inner);
        else
            painter.drawLine(inner.topLeft(), inner.bottomRight());
    }
    return strip;
}

// A temporary resource folder for the test's lifetime.
class ResourceFolder {
public:
    ResourceFolder() { platform::SetResourceFolder(m_dir.path()); }
    ~ResourceFolder() { platform::SetResourceFolder(QString()); }
    QString Write(const QString& file, const QImage& image) const
    {
        const QString path = m_dir.filePath(file);
        EXPECT_TRUE(image.save(path)) << path.toStdString();
        return path;
    }
    QString WriteBytes(const QString& file, const QByteArray& bytes) const
    {
        const QString path = m_dir.filePath(file);
        QFile out(path);
        EXPECT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(bytes);
        return path;
    }
    QString Path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
};

inline void Mouse(QWidget* widget, QEvent::Type type, QPoint at = {2, 2})
{
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, QPointF(at), widget->mapToGlobal(QPointF(at)), Qt::LeftButton, held, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

inline void Enter(QWidget* widget)
{
    QEnterEvent event(QPointF(2, 2), QPointF(2, 2), widget->mapToGlobal(QPointF(2, 2)));
    QApplication::sendEvent(widget, &event);
}

inline void Leave(QWidget* widget)
{
    QEvent event(QEvent::Leave);
    QApplication::sendEvent(widget, &event);
}

// Colour at the point of the widget as drawn now.
inline QColor PixelOf(QWidget& widget, QPoint at)
{
    return widget.grab().toImage().pixelColor(at);
}

} // namespace fixtures
