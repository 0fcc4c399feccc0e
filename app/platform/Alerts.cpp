// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/platform/Alerts.h"

#include <QEventLoop>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include <vector>

namespace platform {
namespace {

AlertResponder g_responder;

struct ModalRun {
    QEventLoop* loop;
    int code;
};
std::vector<ModalRun*> g_modalRuns;

QMessageBox::Icon IconOf(AlertStyle style)
{
    switch (style) {
    case AlertStyle::Informational:
        return QMessageBox::Information;
    case AlertStyle::Critical:
        return QMessageBox::Critical;
    case AlertStyle::Warning:
        break;
    }
    return QMessageBox::Warning;
}

// Builds the box with its buttons in order; the first is the default, the last the
// one Escape presses.
std::vector<QPushButton*> Fill(QMessageBox& box, const QString& message, const QStringList& buttons,
                               AlertStyle style, const QString& informativeText)
{
    box.setIcon(IconOf(style));
    box.setText(message);
    if (!informativeText.isEmpty())
        box.setInformativeText(informativeText);
    std::vector<QPushButton*> made;
    for (int i = 0; i < buttons.size(); ++i)
        made.push_back(box.addButton(buttons[i], i == 0 ? QMessageBox::AcceptRole : QMessageBox::RejectRole));
    if (!made.empty()) {
        box.setDefaultButton(made.front());
        box.setEscapeButton(made.back());
    }
    return made;
}

int IndexOf(const QMessageBox& box, const std::vector<QPushButton*>& buttons)
{
    for (size_t i = 0; i < buttons.size(); ++i)
        if (box.clickedButton() == buttons[i])
            return static_cast<int>(i);
    return -1;
}

// Once the box is up, lets the responder press a button.
void ScheduleResponder(QMessageBox& box, const std::vector<QPushButton*>& buttons)
{
    if (!g_responder)
        return;
    QTimer::singleShot(0, &box, [&box, buttons] {
        const int choice = g_responder(box);
        if (choice >= 0 && choice < static_cast<int>(buttons.size()))
            buttons[choice]->click();
        else
            box.reject();
    });
}

} // namespace

int RunAlert(const QString& message, const QStringList& buttons, AlertStyle style, const QString& informativeText)
{
    QMessageBox box;
    const auto made = Fill(box, message, buttons, style, informativeText);
    ScheduleResponder(box, made);
    box.exec();
    return IndexOf(box, made);
}

void ShowMessage(const QString& message)
{
    RunAlert(message, {QStringLiteral("确定")});
}

void ShowError(const QString& message)
{
    RunAlert(message, {QStringLiteral("确定")}, AlertStyle::Critical);
}

bool AskQuestion(const QString& question)
{
    return RunAlert(question, {QStringLiteral("确定"), QStringLiteral("取消")}) == 0;
}

void ShowSheet(QWidget* window, const QString& message, const QStringList& buttons, std::function<void(int)> completion)
{
    auto* box = new QMessageBox(window);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(window ? Qt::WindowModal : Qt::ApplicationModal);
    const auto made = Fill(*box, message, buttons, AlertStyle::Warning, {});
    QObject::connect(box, &QMessageBox::finished, box, [box, made, completion = std::move(completion)](int) {
        if (completion)
            completion(IndexOf(*box, made));
    });
    ScheduleResponder(*box, made);
    box->open();
}

void SetAlertResponder(AlertResponder responder)
{
    g_responder = std::move(responder);
}

int RunModal(QWidget* window)
{
    QEventLoop loop;
    ModalRun run{&loop, kModalResponseAbort};
    g_modalRuns.push_back(&run);
    QPointer<QWidget> guard(window);
    QMetaObject::Connection gone;
    if (window) {
        gone = QObject::connect(window, &QObject::destroyed, &loop, [&run] {
            run.code = kModalResponseAbort;
            run.loop->quit();
        });
        window->setWindowModality(Qt::ApplicationModal);
        window->show();
    }
    loop.exec();
    QObject::disconnect(gone);
    g_modalRuns.erase(std::find(g_modalRuns.begin(), g_modalRuns.end(), &run));
    if (guard)
        guard->setWindowModality(Qt::NonModal);
    return run.code;
}

void StopModal(int code)
{
    if (g_modalRuns.empty())
        return;
    ModalRun* run = g_modalRuns.back();
    run->code = code;
    run->loop->quit();
}

} // namespace platform
