// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/shell/QvExporter.h"

#include "app/shell/GifAnimation.h"
#include "app/shell/QvUtilityObj.h"

#include <QApplication>
#include <QBuffer>
#include <QDebug>
#include <QDir>
#include <QImageWriter>
#include <QFile>
#include <QScreen>
#include <QWidget>

QvExporter::QvExporter()
{
    removeImages();
}

QString QvExporter::exportFolder()
{
    const QString caches = QvUtilityObj::getAppCacheFolder();
    if (caches.isNull())
        return {};
    return caches + QStringLiteral("/rivela_export_") + QvUtilityObj::getCurrentDate();
}

bool QvExporter::isExistCacheDir()
{
    m_imagePath = exportFolder();
    return !m_imagePath.isEmpty() && QDir(m_imagePath).exists();
}

bool QvExporter::removeImages()
{
    if (!isExistCacheDir())
        return true;
    return QDir(m_imagePath).removeRecursively();
}

QRectF QvExporter::clipWindowRect(const QRectF& rect, const QSizeF& screen)
{
    double x = rect.x(), y = rect.y(), w = rect.width(), h = rect.height();
    if (x < 0) {
        w = x + w;
        x = 1;
    }
    if (y < 0) {
        h = y + h;
        y = 1;
    }
    if (x + w >= screen.width())
        w = screen.width() - x - 1;
    if (y + h >= screen.height())
        h = screen.height() - y - 1;
    return {x, y, w, h};
}

QRectF QvExporter::clipWindowRect(const QRectF& rect)
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return clipWindowRect(rect, screen ? QSizeF(screen->geometry().size()) : QSizeF());
}

QWidget* QvExporter::frontmostWindow()
{
    const auto normal = [](const QWidget* w) {
        return w && w->isVisible() && !w->isMinimized() &&
               (w->windowType() == Qt::Window || w->windowType() == Qt::Dialog);
    };
    if (QWidget* active = QApplication::activeWindow(); normal(active))
        return active;
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (auto it = windows.crbegin(); it != windows.crend(); ++it)
        if (normal(*it))
            return *it;
    return nullptr;
}

void QvExporter::startExport()
{
    if (QWidget* window = frontmostWindow())
        captureWindow(window);
}

bool QvExporter::captureWindow(QWidget* window)
{
    if (!window)
        return false;
    m_originImage = window->grab().toImage();
    if (m_originImage.isNull())
        return false;
    // The window's place on the screen, kept inside it, then back in the window's
    // own pixels for the cut.
    const QRectF onScreen(window->mapToGlobal(QPoint(0, 0)), QSizeF(window->size()));
    m_captureWindowRect = clipWindowRect(onScreen);
    const double ratio = m_originImage.devicePixelRatio();
    const QRectF local = m_captureWindowRect.translated(-onScreen.topLeft());
    const QRectF pixels(local.x() * ratio, local.y() * ratio, local.width() * ratio, local.height() * ratio);
    const QByteArray png = drawImage(m_originImage, pixels);
    m_originImage = QImage(); // one capture in memory at a time
    return !png.isEmpty() && saveImage(png);
}

QByteArray QvExporter::drawImage(const QImage& image, const QRectF& region)
{
    const QRect cut = region.toAlignedRect().intersected(image.rect());
    if (cut.isEmpty())
        return {};
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    // Fast deflate: a tick must stay well inside the half-second step.
    writer.setCompression(1);
    if (!writer.write(image.copy(cut)))
        return {};
    return data;
}

bool QvExporter::saveImage(const QByteArray& png)
{
    const QString folder = exportFolder();
    if (folder.isEmpty() || (!QDir(folder).exists() && !QDir().mkdir(folder))) {
        qWarning() << " SAVE IMAGE ERROR ! ";
        return false;
    }
    m_imagePath = folder;
    const QString path = folder + QLatin1Char('/') + QvUtilityObj::getCurrentTimes() + QStringLiteral("_%1.png").arg(m_imageIndex);
    // Written whole under a temporary name, then renamed: a frame file is complete or
    // absent. Not synced to disk: the frames live only until the GIF is written.
    const QString temporary = path + QStringLiteral(".part");
    QFile file(temporary);
    const bool written = file.open(QIODevice::WriteOnly) && file.write(png) == png.size() && file.flush();
    file.close();
    if (!written || file.error() != QFileDevice::NoError || !QFile::rename(temporary, path)) {
        QFile::remove(temporary);
        qWarning() << " SAVE IMAGE ERROR ! ";
        return false;
    }
    m_arrImages.append(path);
    ++m_imageIndex;
    if (!m_foldersUsed.contains(folder))
        m_foldersUsed.append(folder);
    return true;
}

bool QvExporter::stopExportAtPath(const QString& path)
{
    const bool written = !m_arrImages.isEmpty() && gif::WriteAnimatedGif(path, m_arrImages, gif::kExportDelayCs);
    removeImages();
    for (const QString& folder : std::as_const(m_foldersUsed))
        QDir(folder).removeRecursively();
    return written;
}

NSSavePanelEx::NSSavePanelEx(QWidget* parent) : m_pSavePanel(new QFileDialog(parent))
{
    m_pSavePanel->setAttribute(Qt::WA_DeleteOnClose, false);
    m_pSavePanel->setOption(QFileDialog::DontUseNativeDialog);
    m_pSavePanel->setAcceptMode(QFileDialog::AcceptSave);
    m_pSavePanel->setFileMode(QFileDialog::AnyFile);
    m_pSavePanel->setLabelText(QFileDialog::FileType, QStringLiteral("Save Type:"));
    m_pSavePanel->setNameFilters(m_arrFileExt);
    m_pSavePanel->selectNameFilter(m_arrFileExt.first());
    onClickFileExt(m_arrFileExt.first());
    QObject::connect(m_pSavePanel, &QFileDialog::filterSelected, m_pSavePanel,
                     [this](const QString& title) { onClickFileExt(title); });
    QObject::connect(m_pSavePanel, &QFileDialog::accepted, m_pSavePanel, [this] {
        if (m_panelCompletionHandler)
            m_panelCompletionHandler();
    });
    m_pSavePanel->open(); // no modal loop: the completion answers
}

NSSavePanelEx::~NSSavePanelEx()
{
    delete m_pSavePanel.data();
}

QString NSSavePanelEx::FileTypeOfTitle(const QString& title)
{
    return title.section(QLatin1Char('.'), -1).remove(QLatin1Char(')'));
}

void NSSavePanelEx::onClickFileExt(const QString& title)
{
    m_allowedFileType = FileTypeOfTitle(title);
    if (m_pSavePanel)
        m_pSavePanel->setDefaultSuffix(m_allowedFileType);
}

void NSSavePanelEx::SetNameField(const QString& name)
{
    if (m_pSavePanel)
        m_pSavePanel->selectFile(name);
}

QString NSSavePanelEx::GetPath()
{
    if (m_pSavePanel && m_pSavePanel->result() == QDialog::Accepted && !m_pSavePanel->selectedFiles().isEmpty())
        m_strPath = m_pSavePanel->selectedFiles().first();
    return m_strPath;
}
