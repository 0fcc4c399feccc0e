// SPDX-License-Identifier: GPL-3.0-or-later
// A road through the running application: stages run one after another from the
// event loop (never blocking it, so modal runs can end), each doing what a person
// would do and then waiting until the window it expects is on the screen. Each
// reached stage writes a screenshot that is judged loosely by its pixel statistics.
#pragma once

#include <QApplication>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

class QMessageBox;
class QTimer;
class QWidget;

namespace road {

// Loose facts about a picture: how much of it is not the most common colour, and
// how many colours it holds.
struct PixelStats {
    double inkFraction = 0; // pixels clearly away from the dominant colour
    int colours = 0;        // distinct colours (capped at 4096)
};
PixelStats Measure(const QImage& image, const QRect& region = {});

// What a stage's picture must show at least.
struct ScreenCheck {
    double minInk = 0.01;
    int minColours = 8;
};

struct Stage {
    QString name; // also the screenshot's file name
    // What the person does once the stage starts (may be empty).
    std::function<void()> act;
    // The window to photograph once the stage is reached, null while it is not.
    std::function<QWidget*()> reached;
    int timeoutMs = 20000;
    ScreenCheck check;
    // Further checks of the reached state; an empty answer passes, else says why not.
    std::function<QString()> verify;
};

class Road : public QObject {
    Q_OBJECT
public:
    explicit Road(QString screensFolder);

    void add(Stage stage);
    // Starts the first stage once the event loop runs.
    void start();

    bool finished() const { return m_finished; }
    bool passed() const { return m_finished && m_failure.isEmpty(); }
    QString failure() const { return m_failure; }
    // Names of the stages reached, in order.
    const QStringList& reachedStages() const { return m_reached; }
    // Called once when the last stage was reached or one failed.
    std::function<void(bool passed)> onDone;

    // Writes screens/NAME.png; answers the picture (null when the widget has none).
    QImage screenshot(QWidget& widget, const QString& name) const;

private:
    void begin();
    void poll();
    void finish(const QString& failure);

    QString m_folder;
    std::vector<Stage> m_stages;
    std::size_t m_index = 0;
    qint64 m_started = 0;
    QTimer* m_timer;
    bool m_finished = false;
    QString m_failure;
    QStringList m_reached;
};

// What a person does, through the real widgets.
template <class T> T* VisibleTopLevel()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* t = dynamic_cast<T*>(w); t && w->isVisible())
            return t;
    return nullptr;
}
// The widget as the screen shows it (as it draws itself without a display server).
QImage Grab(QWidget& widget);
// Replaces the field's text by typing it, as a person selecting all and typing does.
void TypeInto(QWidget* field, const QString& text);
void ClickCentre(QWidget* widget);
// The visible message box (alert or sheet) showing the text, or any when text is empty.
QMessageBox* VisibleMessage(const QString& text = {});
// Clicks the box's button with the text.
bool ClickMessageButton(QMessageBox& box, const QString& button);

} // namespace road
