// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/caselist/WebImageCache.h"

#include "app/service/RVHttpTransfer.h"
#include "app/service/RVRequestManager.h"
#include "app/shell/QvUtilityObj.h"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QSaveFile>
#include <QXmlStreamReader>

namespace {

const char kHeader[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                       "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\"><plist version=\"1.0\">";

QByteArray Escaped(const QString& text)
{
    return text.toHtmlEscaped().toUtf8();
}

} // namespace

WebImageCache& WebImageCache::shared()
{
    static WebImageCache* cache = new WebImageCache; // lives for the process
    return *cache;
}

WebImageCache::WebImageCache(QString folder) : m_folder(std::move(folder))
{
    if (!initPListData())
        qWarning("create web image cache plist file failed");
    m_thread = std::thread([this] { run(); });
}

WebImageCache::~WebImageCache()
{
    safeExitThread();
    clearWebImageCache();
}

QByteArray WebImageCache::EmptyIndexText()
{
    return QByteArray(kHeader) + "<dict/></plist>";
}

QString WebImageCache::FileNameFor(const QString& url)
{
    return QvUtilityObj::md5(url) + QLatin1Char('.') + QFileInfo(url).suffix();
}

QString WebImageCache::getWebImageCacheFolder() const
{
    const QString folder =
        m_folder.isEmpty() ? QvUtilityObj::getAppCacheFolder() + QStringLiteral("/WebImageCache") : m_folder;
    if (!QDir().mkpath(folder)) {
        qWarning("createWebCacheFolder failed err = %s", qPrintable(folder));
        return {};
    }
    return folder;
}

QString WebImageCache::IndexPath() const
{
    const QString folder = getWebImageCacheFolder();
    return folder.isEmpty() ? QString() : folder + QStringLiteral("/WebImageCache.plist");
}

bool WebImageCache::initPListData()
{
    const QString path = IndexPath();
    if (path.isEmpty())
        return false;
    QFile file(path);
    if (!file.exists()) {
        QSaveFile out(path);
        return out.open(QIODevice::WriteOnly) && out.write(EmptyIndexText()) == EmptyIndexText().size() &&
               out.commit();
    }
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QMap<QString, QString> index;
    QXmlStreamReader xml(&file);
    QString key;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QStringLiteral("key"))
            key = xml.readElementText();
        else if (xml.name() == QStringLiteral("string") && !key.isNull())
            index.insert(std::exchange(key, QString()), xml.readElementText());
    }
    std::lock_guard lock(m_mutex);
    m_plistData = index;
    return !xml.hasError();
}

bool WebImageCache::saveData()
{
    QByteArray text = kHeader;
    {
        std::lock_guard lock(m_mutex);
        if (m_plistData.isEmpty()) {
            text += "<dict/>";
        } else {
            text += "<dict>";
            for (auto it = m_plistData.cbegin(); it != m_plistData.cend(); ++it)
                text += "<key>" + Escaped(it.key()) + "</key><string>" + Escaped(it.value()) + "</string>";
            text += "</dict>";
        }
    }
    text += "</plist>";
    QSaveFile out(IndexPath());
    const bool ok = out.open(QIODevice::WriteOnly) && out.write(text) == text.size() && out.commit();
    if (!ok)
        qWarning("save web cache plist date failed");
    return ok;
}

QString WebImageCache::getWebImageFilePath(const QString& url)
{
    QString name;
    {
        std::lock_guard lock(m_mutex);
        name = m_plistData.value(url);
    }
    if (name.isEmpty())
        return {};
    const QString path = getWebImageCacheFolder() + QLatin1Char('/') + name;
    const QFileInfo info(path);
    return info.exists() && !info.isDir() ? path : QString();
}

QImage WebImageCache::getWebImage(const QString& url)
{
    const QString path = getWebImageFilePath(url);
    return path.isEmpty() ? QImage() : QImage(path);
}

void WebImageCache::SetImage(QWidget* view, const QImage& image)
{
    if (auto* label = qobject_cast<QLabel*>(view))
        label->setPixmap(QPixmap::fromImage(image));
    else if (auto* button = qobject_cast<QAbstractButton*>(view))
        button->setIcon(QIcon(QPixmap::fromImage(image)));
}

void WebImageCache::addTask(const QString& url, QWidget* target, std::shared_ptr<WebImageCacheTaskDelegate> delegate)
{
    const QString path = getWebImageFilePath(url);
    const QImage image = path.isEmpty() ? QImage() : QImage(path);
    if (!image.isNull()) {
        SetImage(target, image);
        if (delegate)
            delegate->taskComplete(path);
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        m_arrData.push_back({url, target, std::move(delegate)});
    }
    m_semData.Signal();
}

size_t WebImageCache::pendingTasks() const
{
    std::lock_guard lock(m_mutex);
    return m_arrData.size();
}

void WebImageCache::run()
{
    const QString folder = getWebImageCacheFolder();
    for (;;) {
        (void)m_semData.Wait();
        if (m_bExit)
            break;
        WebImageCacheTask task;
        {
            std::lock_guard lock(m_mutex);
            if (m_arrData.empty())
                continue;
            task = m_arrData.front();
        }
        const QString target = folder + QLatin1Char('/') + FileNameFor(task.m_strURL);
        RVHttpRequest request;
        request.url = QUrl::fromEncoded(RVRequestManager::EscapeForQuery(task.m_strURL));
        request.timeout = std::chrono::milliseconds(60000);
        request.downloadFolder = folder;
        RVHttpResponse response;
        if (!folder.isEmpty())
            response = RVPerformHttp(request);
        bool stored = response.ok() && !response.tempFile.isEmpty() && RVReplaceFile(response.tempFile, target);
        if (!stored && !response.tempFile.isEmpty())
            QFile::remove(response.tempFile);
        if (stored) {
            {
                std::lock_guard lock(m_mutex);
                m_plistData.insert(task.m_strURL, QFileInfo(target).fileName());
            }
            (void)saveData();
        }
        const QString error = stored ? QString() : (response.error.isEmpty() ? QStringLiteral("HTTP %1").arg(response.status) : response.error);
        // The views and delegates are told on the GUI thread; the worker does not wait for it.
        platform::AsyncOnGui([task, stored, target, error] {
            if (stored) {
                SetImage(task.m_imgView, QImage(target));
                if (task.delegate)
                    task.delegate->taskComplete(target);
            } else if (task.delegate) {
                task.delegate->taskFailed(error);
            }
        });
        std::lock_guard lock(m_mutex);
        m_arrData.pop_front();
    }
}

void WebImageCache::safeExitThread()
{
    if (!m_thread.joinable())
        return;
    m_bExit = true;
    m_semData.Signal();
    m_thread.join();
}

void WebImageCache::clearWebImageCache()
{
    const QString folder = getWebImageCacheFolder();
    QStringList names;
    {
        std::lock_guard lock(m_mutex);
        names = m_plistData.values();
        m_plistData.clear();
    }
    for (const QString& name : names)
        if (!QFile::remove(folder + QLatin1Char('/') + name))
            qWarning("delete web image cache file failed");
    (void)saveData();
}
