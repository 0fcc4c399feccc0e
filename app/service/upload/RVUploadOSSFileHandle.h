// SPDX-License-Identifier: GPL-3.0-or-later
// The transfer of one resumable upload: the parts the record already holds are
// skipped by reading, then each remaining part gets its signed PUT from the service
// and is sent, one after another, with the record saved after every part. It runs
// on a network thread; progress and callback come from there.
#pragma once

#include "app/service/RVHttpTransfer.h"
#include "app/service/upload/RVOSSFile.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>

class RVUploadOSSFileHandle : public std::enable_shared_from_this<RVUploadOSSFileHandle> {
public:
    QString uploadPath;                   // the "path" header of every part PUT
    std::function<void(bool)> callback;   // once: YES when the record is complete
    std::function<void(double)> progress; // parts done, whole parts only
    std::shared_ptr<RVOSSFile> ossFile;

    // Starts or resumes the transfer and returns at once. A part counts only after a
    // complete 2xx reply; a failure (no signed request, transport, refusal, a file
    // that ends early or cannot be opened) calls back NO with the record as it was.
    void uploadFile(std::shared_ptr<RVOSSFile> file, const QString& signedUrl, const QString& acquireAccessUrl,
                    std::shared_ptr<RVOSSFileHelper> fileHelper);

    // The signed PUT of one part, asked of the part-URL endpoint (which already carries
    // a query); none on a transport error or when "data" is no object. Blocks.
    static std::optional<RVHttpRequest> createRequestWithUrl(const QString& endpoint, qint64 partNumber,
                                                             const QString& uploadId, const QString& uploadPath);

private:
    void Run(const QString& signedUrl, const QString& acquireAccessUrl, const std::shared_ptr<RVOSSFileHelper>& helper);
    void Progress(double parts) const;
    void Finish(bool ok);
};
