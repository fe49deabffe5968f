// SPDX-License-Identifier: MIT
#include "filedrag.h"

#include <QDrag>
#include <QMimeData>
#include <QPixmap>
#include <QWidget>

#include <filesystem>

std::unique_ptr<QMimeData> FileDrag::mimeData(const QList<TempFile> &files)
{
    auto mime = std::make_unique<QMimeData>();
    QList<QUrl> urls;
    for (const TempFile &file : files) {
        std::error_code error;
        const QUrl url = file.url();
        if (url.isValid() && url.isLocalFile() && std::filesystem::exists(file.path(), error))
            urls.append(url);
    }
    // With nothing left the drag still starts, carrying nothing.
    if (!urls.isEmpty())
        mime->setUrls(urls);
    return mime;
}

void FileDrag::run(QWidget *source, std::unique_ptr<QMimeData> data, const QPixmap &pixmap,
                   QPoint hotSpot)
{
    // Owned by the window, not the source: the list may drop a row while
    // its drag runs, and the drag must outlive it.
    auto *drag = new QDrag(source->window());
    drag->setMimeData(data.release());
    drag->setPixmap(pixmap);
    drag->setHotSpot(hotSpot);
    drag->exec(actions(), Qt::CopyAction);
}
