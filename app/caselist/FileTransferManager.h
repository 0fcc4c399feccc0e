// SPDX-License-Identifier: GPL-3.0-or-later
// One download the page asks for ("Download"): the user picks a folder and the file
// lands there under its (cleaned) name. The body goes to a temporary file that
// replaces the target only after a whole 2xx reply; otherwise the old file stays
// and the user sees "下载失败". GUI thread.
#pragma once

#include <QString>

#include <functional>
#include <memory>

class FileTransferManager : public std::enable_shared_from_this<FileTransferManager> {
public:
    static std::shared_ptr<FileTransferManager> initWithFileUrl(const QString& fileUrl, const QString& fileName);

    // Asks for the folder and starts; nothing when the panel is cancelled.
    void start();

    const QString& fileUrl() const { return m_fileUrl; }
    const QString& fileName() const { return m_fileName; }
    // The target once started.
    const QString& path() const { return m_path; }
    bool finished() const { return m_finished; }
    bool succeeded() const { return m_succeeded; }

private:
    FileTransferManager() = default;
    QString m_fileUrl;
    QString m_fileName;
    QString m_path;
    bool m_finished = false;
    bool m_succeeded = false;
};
