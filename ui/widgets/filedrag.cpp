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

void FileDrag::run(QWidget *source, std::unique_ptr<QMimeData> data, const QRect &shown,
                   QPoint pressPos)
{
    // Owned by the window, not the source: the list may drop a row while
    // its drag runs, and the drag must outlive it.
    auto *drag = new QDrag(source->window());
    drag->setMimeData(data.release());
    drag->setPixmap(source->grab(shown));
    drag->setHotSpot(pressPos - shown.topLeft());
    // Copy only, so a file manager never moves a staged copy off the shelf.
    drag->exec(Qt::CopyAction, Qt::CopyAction);
}
