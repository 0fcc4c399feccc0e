// SPDX-License-Identifier: GPL-3.0-or-later
// The step-animation export: at every step tick the frontmost window of the
// application is captured (QWidget::grab, GL content included) into a PNG frame in
// the export folder "rivela_export_yyyyMMdd" of the caches folder; at the end the
// frames become one animated GIF (70 cs per frame, looping) and the folder goes.
// NSSavePanelEx is the save panel the step bar asks for the file. GUI thread only.
#pragma once

#include <QFileDialog>
#include <QImage>
#include <QPointer>
#include <QRectF>
#include <QStringList>

#include <functional>

class QWidget;

class QvExporter {
public:
    // Starts with no frames and deletes today's export folder, so frames of an
    // earlier export never reach this one.
    QvExporter();

    // Captures the frontmost window as one frame; nothing without a window.
    void startExport();
    // Captures that window as one frame; false when nothing was written.
    bool captureWindow(QWidget* window);
    // Writes the frames as a GIF at the path and deletes the export folder. True only
    // when the GIF was written whole; no frame, an unreadable frame or an unwritable
    // path answer false and leave the path as it was.
    [[nodiscard]] bool stopExportAtPath(const QString& path);

    // The rectangle (top-left origin) kept inside a screen of that size: a part
    // before 0 is cut and the rectangle starts at 1; one reaching the far edge ends
    // one short of it.
    static QRectF clipWindowRect(const QRectF& rect, const QSizeF& screen);
    // Against the primary screen.
    static QRectF clipWindowRect(const QRectF& rect);
    // The frontmost normal window of the application, or null.
    static QWidget* frontmostWindow();

    // PNG data of the region of the image; empty when nothing is left of it.
    static QByteArray drawImage(const QImage& image, const QRectF& region);
    // Writes one frame file into today's export folder (made when missing).
    bool saveImage(const QByteArray& png);
    // Deletes today's export folder; true when it is gone.
    bool removeImages();
    // Whether today's export folder exists; remembers its path.
    bool isExistCacheDir();

    const QStringList& getArrImages() const { return m_arrImages; }
    QString imagePath() const { return m_imagePath; }
    QRectF captureWindowRect() const { return m_captureWindowRect; }
    // Today's export folder.
    static QString exportFolder();

private:
    QImage m_originImage;
    QRectF m_captureWindowRect;
    QStringList m_arrImages;
    qint64 m_imageIndex = 0;
    QString m_imagePath;
    QStringList m_foldersUsed; // folders written to, deleted at the end even after midnight
};

// The save panel of the export: a non-modal file dialog with the one file type
// "Rivela(*.gif)" and a name field; the completion runs when the doctor confirms.
class NSSavePanelEx {
public:
    // Opens the panel at once.
    explicit NSSavePanelEx(QWidget* parent = nullptr);
    ~NSSavePanelEx();
    NSSavePanelEx(const NSSavePanelEx&) = delete;
    NSSavePanelEx& operator=(const NSSavePanelEx&) = delete;

    void SetNameField(const QString& name);
    // The chosen file; empty before the doctor confirmed.
    QString GetPath();
    void setPanelCompletionHandler(std::function<void()> handler) { m_panelCompletionHandler = std::move(handler); }
    const QStringList& arrFileExt() const { return m_arrFileExt; }
    // "Rivela(*.gif)" gives "gif": after the last ".", without ")".
    static QString FileTypeOfTitle(const QString& title);
    QString allowedFileType() const { return m_allowedFileType; }
    QFileDialog* panel() const { return m_pSavePanel; }

private:
    void onClickFileExt(const QString& title);

    QPointer<QFileDialog> m_pSavePanel;
    QStringList m_arrFileExt{QStringLiteral("Rivela(*.gif)")};
    QString m_allowedFileType;
    QString m_strPath;
    std::function<void()> m_panelCompletionHandler;
};
