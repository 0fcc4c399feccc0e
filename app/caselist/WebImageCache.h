// SPDX-License-Identifier: GPL-3.0-or-later
// The disk cache of pictures shown from web addresses: a picture on disk is shown at
// once; otherwise a worker thread downloads the queued addresses one at a time, in
// order, stores each under the MD5 of its address and records it in the index
// "WebImageCache.plist". The task list and the index are locked; the worker can be
// stopped. Callers use the GUI thread; views and delegates are told there.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QMap>
#include <QPointer>
#include <QString>
#include <QWidget>

#include "app/platform/Dispatch.h"

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

class WebImageCacheTaskDelegate {
public:
    virtual ~WebImageCacheTaskDelegate() = default;
    virtual void taskComplete(const QString& path) { (void)path; }
    virtual void taskFailed(const QString& error) { (void)error; }
};

struct WebImageCacheTask {
    QString m_strURL;
    QPointer<QWidget> m_imgView; // a label or a button: its pixmap or icon is set
    std::shared_ptr<WebImageCacheTaskDelegate> delegate;
};

class WebImageCache {
public:
    // The process's cache, in the cache folder's "WebImageCache".
    static WebImageCache& shared();
    // A cache over the folder (tests); empty: the process's folder.
    explicit WebImageCache(QString folder = {});
    // Stops the worker, then clears the cache.
    ~WebImageCache();
    WebImageCache(const WebImageCache&) = delete;
    WebImageCache& operator=(const WebImageCache&) = delete;

    void addTask(const QString& url, QWidget* target, std::shared_ptr<WebImageCacheTaskDelegate> delegate = {});
    // The cached file of the address; null when not indexed, missing or a folder.
    QString getWebImageFilePath(const QString& url);
    QImage getWebImage(const QString& url);
    // Null when the folder cannot be made.
    QString getWebImageCacheFolder() const;
    [[nodiscard]] bool initPListData();
    [[nodiscard]] bool saveData();
    void clearWebImageCache();
    // Asks the worker to end and waits; a download in progress ends first.
    void safeExitThread();
    // Tasks queued or running.
    size_t pendingTasks() const;

    // MD5 of the address, ".", the address's path extension (of the whole text).
    static QString FileNameFor(const QString& url);
    // The index of an empty cache, byte for byte.
    static QByteArray EmptyIndexText();
    static void SetImage(QWidget* view, const QImage& image);

private:
    void run();
    QString IndexPath() const;

    QString m_folder;
    std::atomic_bool m_bExit{false};
    mutable std::mutex m_mutex; // m_arrData and m_plistData
    std::deque<WebImageCacheTask> m_arrData;
    QMap<QString, QString> m_plistData;
    platform::Semaphore m_semData;
    std::thread m_thread;
};
