// SPDX-License-Identifier: MIT
// The least a Qt 6 tray program can be: an application, an icon drawn at start
// and the event loop. The desktop benchmark starts it beside qel-stashlet, so
// the program's start-up time and memory are read against this floor.
#include <QApplication>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QPixmap pixmap(22, 22);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x40, 0x40, 0x40));
    painter.drawRoundedRect(QRectF(3, 5, 16, 12), 3, 3);
    painter.end();
    QSystemTrayIcon tray{QIcon(pixmap)};
    tray.show();
    return QApplication::exec();
}
