// SPDX-License-Identifier: MIT
#pragma once

#include "tempfile.h"

#include <QList>
#include <QMimeData>
#include <QRect>

#include <memory>

class QWidget;

// A drag of staged copies out of the panel, one card's or the whole shelf's.
class FileDrag final {
public:
    // The staged copies as file URLs, leaving out any no longer on the disk
    // rather than offering a file manager a dangling name.
    static std::unique_ptr<QMimeData> mimeData(const QList<TempFile> &files);
    // Runs the drag of `data` until it ends, `shown` of `source` held where it
    // was pressed. Tests read the same data the sources hand over here.
    static void run(QWidget *source, std::unique_ptr<QMimeData> data, const QRect &shown,
                    QPoint pressPos);
};
