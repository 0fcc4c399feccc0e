// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/platform/FilePanels.h"

#include <QDir>
#include <QFileDialog>

namespace platform {
namespace {

FilePanelResponder g_responder;

std::optional<QStringList> Run(QWidget* parent, const FilePanelRequest& request)
{
    if (g_responder)
        return g_responder(request);
    QFileDialog dialog(parent, request.title, request.folder);
    if (!request.filters.isEmpty())
        dialog.setNameFilters(request.filters);
    switch (request.kind) {
    case FilePanelRequest::Kind::OpenFiles:
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(request.allowMultiple ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
        break;
    case FilePanelRequest::Kind::OpenFolder:
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly);
        break;
    case FilePanelRequest::Kind::Save:
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        if (!request.proposedName.isEmpty())
            dialog.selectFile(request.proposedName);
        break;
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles();
}

} // namespace

std::optional<QStringList> RunOpenPanel(QWidget* parent, const FilePanelRequest& request)
{
    auto answer = Run(parent, request);
    if (answer && answer->isEmpty())
        return std::nullopt;
    if (answer && !request.allowMultiple && answer->size() > 1)
        answer->erase(answer->begin() + 1, answer->end());
    return answer;
}

std::optional<QString> RunSavePanel(QWidget* parent, const FilePanelRequest& request)
{
    FilePanelRequest save = request;
    save.kind = FilePanelRequest::Kind::Save;
    const auto answer = Run(parent, save);
    if (!answer || answer->isEmpty())
        return std::nullopt;
    return answer->front();
}

void SetFilePanelResponder(FilePanelResponder responder)
{
    g_responder = std::move(responder);
}

} // namespace platform
