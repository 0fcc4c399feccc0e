// SPDX-License-Identifier: GPL-3.0-or-later
// The process-wide manager of the open case document: opens a case handed over by
// the design window (which file for which model kind, reuse of the open document,
// download, reading, a scheme file added to its digital model), reports each stage
// and failure to one delegate on the GUI thread, closes the document and exports it.
//
// Failure codes and their messages (failureMessage):
//   1 "文件打开失败"  cannot open, bad body, newer case document, unknown kind
//   2 "不兼容的文件版本"  older incompatible version
//   3 "暂未支持的文件版本"  unsupported version or not a file of that kind
//   4 "文件下载失败"  a download delivered no file (or timed out)
//   5 "文件打开异常"  memory ran out while reading or preparing; also, without any
//                    message, the answer when no descriptor was given
//
// Opens block: call openDocumentWithFileURL off the GUI thread. Opens are serialised
// (a second waits for the first). Delegate messages hop synchronously to the GUI
// thread. closeDocument may run on any thread; the rest on the GUI thread.
#pragma once

#include <QString>
#include <QStringList>

#include <memory>
#include <mutex>

class RivelaDoc;
class RVCaseInfo;
class RVModelManager;

// Every message optional; the id is "" except in willDownloadFileByID (the case's identifier).
class RVModelManagerDelegate {
public:
    virtual ~RVModelManagerDelegate() = default;
    virtual void willCloseDocumentByID(RVModelManager&, const QString& id) {}
    virtual void closedDocumentByID(RVModelManager&, const QString& id) {}
    virtual void willDownloadFileByID(RVModelManager&, const QString& id, quint64 modelType) {}
    virtual void willOpenDocumentByID(RVModelManager&, const QString& id, quint64 modelType) {}
    virtual void OpenDocumentFailerByID(RVModelManager&, const QString& id, quint64 modelType, unsigned failure) {}
    virtual void openedDocumentByID(RVModelManager&, const QString& id, quint64 modelType) {}
    virtual void watchThreeModel() {}
    virtual void reloadModelView() {}
    virtual void reloadScheme() {}
};

class RVModelManager {
public:
    static RVModelManager& shared();

    void setDelegate(std::weak_ptr<RVModelManagerDelegate> delegate);
    std::shared_ptr<RVModelManagerDelegate> delegate() const;
    std::shared_ptr<RivelaDoc> currentDocument() const;

    // Opens the case n (o: the case open so far, may be null) from the file URL; 0
    // or a failure code. Blocks; never call on the GUI thread.
    [[nodiscard]] unsigned openDocumentWithFileURL(const QString& url, const std::shared_ptr<RVCaseInfo>& oldInfo,
                                                   const std::shared_ptr<RVCaseInfo>& newInfo);
    // Whether the open document must be replaced (by the descriptors alone).
    [[nodiscard]] static bool shoudOpenNewDocumentWithOldInfo(const RVCaseInfo* oldInfo, const RVCaseInfo& newInfo);
    // Reads a downloaded file: a new document for kinds 1041 and 1049 (others fail
    // with 1), a scheme file into the open document for the scheme kinds. 0 or a
    // failure code.
    [[nodiscard]] unsigned openDocumentByFilePath(const QString& path, const QString& id, quint64 modelType,
                                                  const std::shared_ptr<RVCaseInfo>& caseInfo);
    // 0 to 3 stay, everything else is 1.
    [[nodiscard]] static unsigned transformResultTypeWithCType(int code);
    static QString failureMessage(unsigned failure);

    // With delegate messages around it; without them.
    void closeDocument();
    void clear();
    void reloadModelView();
    void watchThreeModel();

    // Asks for a path (types "*.RVS", "*.OS") and exports the document current when
    // it began; "保存成功！" or "保存失败！". Nothing without a document or on cancel.
    void exportOS();
    const QStringList& extItemsArr() const { return m_extItems; }
    // The type of the pop-up's entry becomes the allowed one ("*." removed).
    void fileExtAction(int index);
    const QString& allowedFileType() const { return m_allowedType; }

    int totalTreatStep() const;

    // Tests: no document, no delegate.
    void ResetForTests();

private:
    RVModelManager();
    template <typename Send>
    void Tell(Send send);
    [[nodiscard]] QString Download(const QString& url);
    void setupSavePanel();

    mutable std::mutex m_mutex; // the document pointer and the delegate
    std::mutex m_openMutex;     // one open at a time
    std::weak_ptr<RVModelManagerDelegate> m_delegate;
    std::shared_ptr<RivelaDoc> m_document;
    QStringList m_extItems;
    QString m_allowedType;
};
