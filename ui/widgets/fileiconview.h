// SPDX-License-Identifier: MIT
#pragma once

#include "fileicon.h"

#include <QString>
#include <QWidget>

class QAbstractFileIconProvider;

// The file-type icon of a file, as large as fits, aspect ratio kept,
// centred; the blue document glyph where no icon can be had. Asks the
// icon service on every paint: the staged file can change under it, and the
// service caches already.
class FileIconView final : public QWidget {
    Q_OBJECT

public:
    // `provider` is the icon service; the desktop's when null. It must
    // outlive the view.
    explicit FileIconView(const QString &path, QWidget *parent = nullptr,
                          const QAbstractFileIconProvider *provider = nullptr);

    QString path() const { return m_path; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_path;
    const QAbstractFileIconProvider *m_provider;
};
