// SPDX-License-Identifier: GPL-3.0-or-later
// Open and save panels over QFileDialog; a test answers them through a responder.
// Call on the GUI thread.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QWidget;

namespace platform {

struct FilePanelRequest {
    enum class Kind { OpenFiles, OpenFolder, Save } kind = Kind::OpenFiles;
    QString title;
    QString folder;       // where the panel starts
    QString proposedName; // save panels
    QStringList filters;  // "Images (*.png *.jpg)"
    bool allowMultiple = false;
};

// The chosen paths; none when the panel was cancelled.
std::optional<QStringList> RunOpenPanel(QWidget* parent, const FilePanelRequest& request);
// The chosen path; none when cancelled.
std::optional<QString> RunSavePanel(QWidget* parent, const FilePanelRequest& request);

// Answers panels in place of a person (tests); an empty function restores the dialogs.
using FilePanelResponder = std::function<std::optional<QStringList>(const FilePanelRequest&)>;
void SetFilePanelResponder(FilePanelResponder responder);

} // namespace platform
