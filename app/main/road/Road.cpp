// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/main/road/Road.h"

#include <QAbstractButton>
#include <QDateTime>
#include <QDir>
#include <QGuiApplication>
#include <QHash>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstdlib>

namespace road {

PixelStats Measure(const QImage& source, const QRect& region)
{
    PixelStats stats;
    if (source.isNull())
        return stats;
    const QImage image = source.convertToFormat(QImage::Format_RGB32);
    const QRect r = region.isNull() ? image.rect() : region.intersected(image.rect());
    if (r.isEmpty())
        return stats;
    QHash<QRgb, int> counts;
    for (int y = r.top(); y <= r.bottom(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = r.left(); x <= r.right(); ++x)
            ++counts[line[x] | 0xff000000u];
    }
    QRgb dominant = 0;
    int most = -1;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (it.value() > most) {
            most = it.value();
            dominant = it.key();
        }
    qint64 ink = 0;
    for (int y = r.top(); y <= r.bottom(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = r.left(); x <= r.right(); ++x) {
            const QRgb p = line[x];
            if (std::abs(qRed(p) - qRed(dominant)) + std::abs(qGreen(p) - qGreen(dominant)) +
                    std::abs(qBlue(p) - qBlue(dominant)) >
                48)
                ++ink;
        }
    }
    stats.inkFraction = double(ink) / double(qint64(r.width()) * r.height());
    stats.colours = int(std::min<qsizetype>(counts.size(), 4096));
    return stats;
}

Road::Road(QString screensFolder) : m_folder(std::move(screensFolder)), m_timer(new QTimer(this))
{
    m_timer->setInterval(50);
    connect(m_timer, &QTimer::timeout, this, &Road::poll);
}

void Road::add(Stage stage)
{
    m_stages.push_back(std::move(stage));
}

void Road::start()
{
    QTimer::singleShot(0, this, &Road::begin);
}

void Road::begin()
{
    if (m_finished)
        return;
    if (m_index >= m_stages.size()) {
        finish({});
        return;
    }
    const Stage& stage = m_stages[m_index];
    std::printf("road: %s ...\n", qPrintable(stage.name));
    std::fflush(stdout);
    m_started = QDateTime::currentMSecsSinceEpoch();
    if (stage.act)
        stage.act();
    m_timer->start();
}

void Road::poll()
{
    const Stage& stage = m_stages[m_index];
    QWidget* window = stage.reached ? stage.reached() : nullptr;
    if (!window) {
        if (QDateTime::currentMSecsSinceEpoch() - m_started > stage.timeoutMs)
            finish(stage.name + QStringLiteral(": not reached within %1 ms").arg(stage.timeoutMs));
        return;
    }
    m_timer->stop();
    // Let the window finish painting what it has just been handed.
    QTest::qWait(150);
    const QImage picture = screenshot(*window, stage.name);
    const PixelStats stats = Measure(picture);
    std::printf("road: %s reached in %lld ms (ink %.3f, %d colours)\n", qPrintable(stage.name),
                QDateTime::currentMSecsSinceEpoch() - m_started, stats.inkFraction, stats.colours);
    if (picture.isNull() || stats.inkFraction < stage.check.minInk || stats.colours < stage.check.minColours) {
        finish(stage.name + QStringLiteral(": the screenshot looks blank (ink %1, %2 colours)")
                                .arg(stats.inkFraction)
                                .arg(stats.colours));
        return;
    }
    if (stage.verify) {
        const QString why = stage.verify();
        if (!why.isEmpty()) {
            finish(stage.name + QStringLiteral(": ") + why);
            return;
        }
    }
    m_reached.append(stage.name);
    ++m_index;
    QTimer::singleShot(0, this, &Road::begin);
}

void Road::finish(const QString& failure)
{
    if (m_finished)
        return;
    m_timer->stop();
    m_finished = true;
    m_failure = failure;
    if (failure.isEmpty())
        std::printf("road: every stage reached (%lld)\n", qint64(m_reached.size()));
    else
        std::fprintf(stderr, "road: FAILED at %s\n", qPrintable(failure));
    std::fflush(stdout);
    if (onDone)
        onDone(failure.isEmpty());
}

QImage Grab(QWidget& widget)
{
    // The web view and the 3-D view draw through surfaces of their own that a widget's
    // rendering of itself leaves blank: on a display server take what it shows.
    if (QGuiApplication::platformName() == QStringLiteral("xcb") && widget.isVisible()) {
        QWidget* top = widget.window();
        const QPoint at = widget.mapTo(top, QPoint(0, 0));
        if (QScreen* screen = top->screen()) {
            const QImage image =
                screen->grabWindow(top->winId(), at.x(), at.y(), widget.width(), widget.height()).toImage();
            if (!image.isNull())
                return image;
        }
    }
    return widget.grab().toImage();
}

QImage Road::screenshot(QWidget& widget, const QString& name) const
{
    QDir().mkpath(m_folder);
    const QImage image = Grab(widget);
    if (!image.isNull())
        image.save(QDir(m_folder).filePath(name + QStringLiteral(".png")));
    return image;
}

void TypeInto(QWidget* field, const QString& text)
{
    if (!field)
        return;
    QTest::mouseClick(field, Qt::LeftButton, {}, field->rect().center());
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(field, Qt::Key_Backspace);
    for (const QChar c : text) {
        if (c.unicode() < 0x80) {
            QTest::keyClick(field, c.toLatin1());
        } else {
            // What a keyboard's input method delivers for a character no key names.
            QTest::sendKeyEvent(QTest::Press, field, Qt::Key_unknown, QString(c), Qt::NoModifier);
            QTest::sendKeyEvent(QTest::Release, field, Qt::Key_unknown, QString(c), Qt::NoModifier);
        }
    }
}

void ClickCentre(QWidget* widget)
{
    if (widget)
        QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
}

QMessageBox* VisibleMessage(const QString& text)
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (box && box->isVisible() && (text.isEmpty() || box->text() == text))
            return box;
    }
    return nullptr;
}

bool ClickMessageButton(QMessageBox& box, const QString& button)
{
    for (QAbstractButton* b : box.buttons())
        if (b->text() == button) {
            ClickCentre(b);
            return true;
        }
    return false;
}

} // namespace road
