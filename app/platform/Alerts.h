// SPDX-License-Identifier: GPL-3.0-or-later
// Alerts, questions, window-modal sheets and modal runs that end with a code.
// Call everything here on the GUI thread.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QMessageBox;
class QWidget;

namespace platform {

enum class AlertStyle { Warning, Informational, Critical };

// Runs an application-modal alert with the buttons in the given order (the first is
// the default) and answers the index of the button chosen; -1 when it was closed
// otherwise.
int RunAlert(const QString& message, const QStringList& buttons, AlertStyle style = AlertStyle::Warning,
             const QString& informativeText = {});

// The standard alerts: a message with "确定"; an error alert with "确定"; a question
// with "确定" and "取消" that answers true only for "确定".
void ShowMessage(const QString& message);
void ShowError(const QString& message);
[[nodiscard]] bool AskQuestion(const QString& question);

// Shows the alert as a sheet, modal to the window only, and returns at once; the
// completion (may be empty) gets the chosen button's index later, on the GUI thread.
void ShowSheet(QWidget* window, const QString& message, const QStringList& buttons,
               std::function<void(int)> completion = {});

// Answers alerts in place of a person: called with each alert once it is on the screen,
// it answers the index of the button to press. Tests set it; an empty function hands
// the alerts back to the user.
using AlertResponder = std::function<int(QMessageBox&)>;
void SetAlertResponder(AlertResponder responder);

// Codes that end modal runs (the values the login and its callers rely on).
inline constexpr int kModalResponseStop = -1000;     // the login window was closed
inline constexpr int kModalResponseAbort = -1001;    // the window went away during the run
inline constexpr int kModalResponseContinue = -1002; // the login completed

// Shows the window application-modal and runs events until StopModal is called or the
// window is destroyed (kModalResponseAbort); answers the code. Runs nest.
int RunModal(QWidget* window);

// Ends the innermost modal run with the code; nothing when none runs.
void StopModal(int code);

} // namespace platform
