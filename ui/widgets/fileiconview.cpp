// SPDX-License-Identifier: MIT
#include "fileiconview.h"

#include <QPainter>

FileIconView::FileIconView(const QString &path, QWidget *parent,
                           const QAbstractFileIconProvider *provider)
    : QWidget(parent)
    , m_path(path)
    , m_provider(provider ? provider : &FileIcon::desktopProvider())
{
    setAttribute(Qt::WA_TranslucentBackground);
}

void FileIconView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    FileIcon::paint(painter, rect(), m_path, *m_provider, colorSchemeOf(palette()));
}
