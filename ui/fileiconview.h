// SPDX-License-Identifier: MIT
#pragma once

#include "colorscheme.h"

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

    static void paint(QPainter &painter, const QRectF &frame, const QString &path,
                      const QAbstractFileIconProvider &provider, ColorScheme scheme);
    // File-type icons by MIME type from the icon theme, else the desktop's;
    // shared by every view.
    static const QAbstractFileIconProvider &desktopProvider();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_path;
    const QAbstractFileIconProvider *m_provider;
};
