// SPDX-License-Identifier: MIT
#pragma once

#include "colorscheme.h"

#include <QString>
#include <QWidget>

class QAbstractFileIconProvider;

// The desktop's icon for a file, as large as fits, aspect ratio kept,
// centred; the blue document glyph where the desktop has none. Asks the
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
    // The file-type icon service of the desktop, shared by every view.
    static const QAbstractFileIconProvider &desktopProvider();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_path;
    const QAbstractFileIconProvider *m_provider;
};
