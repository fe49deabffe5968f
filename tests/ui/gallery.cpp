// SPDX-License-Identifier: MIT
// Renders every building block of the panel, light and dark, to PNG files in
// the folder given as the first argument, so changes can be looked at.
#include "airdroplogoview.h"
#include "airdropsvg.h"
#include "fileiconview.h"
#include "fonts.h"
#include "glyph.h"
#include "schemepalette.h"
#include "snappybutton.h"
#include "theme.h"
#include "ticker.h"
#include "visualeffectview.h"

#include <QAbstractFileIconProvider>
#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QPainterPath>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>

namespace {

using namespace theme;
constexpr qreal kDpr = 2.0;

bool save(const QString &folder, const QString &name, ColorScheme scheme, QSize size,
          const std::function<void(QPainter &)> &draw)
{
    QImage image(size * kDpr, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(kDpr);
    image.fill(kPopoverMaterial.color(scheme).rgb()); // opaque: as without a compositor
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    draw(painter);
    painter.end();
    const QString file =
        QStringLiteral("%1/gallery-%2-%3.png")
            .arg(folder, name,
                 scheme == ColorScheme::Dark ? QStringLiteral("dark") : QStringLiteral("light"));
    const bool ok = image.save(file);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(file));
    return ok;
}

void caption(QPainter &p, ColorScheme s, QPointF at, const QString &text)
{
    p.setFont(systemFont(9, QFont::Medium));
    p.setPen(kSecondaryText.color(s));
    p.drawText(at, text);
}

void glyphs(QPainter &p, ColorScheme s)
{
    const char *names[] = {"tray.and.arrow.down",
                           "tray.and.arrow.down.fill",
                           "paperclip",
                           "multiply",
                           "xmark",
                           "square.and.arrow.down.fill",
                           "doc.fill",
                           "shareplay"};
    double y = 8;
    for (const char *name : names) {
        const Glyph g = *glyphNamed(QString::fromLatin1(name));
        double x = 8;
        for (int size : {10, 16, 30}) {
            paintGlyph(p, g, QRectF(x, y, size, size), kPrimaryText.color(s));
            x += size + 10;
        }
        QLinearGradient accent(QPointF(x, y), QPointF(x + 30, y + 30));
        accent.setColorAt(0, kBlue.color(s));
        accent.setColorAt(1, kCyan.color(s));
        paintGlyph(p, g, QRectF(x, y, 30, 30), accent);
        paintGlyph(p, g, QRectF(x + 40, y, 30, 30), kRed.color(s));
        caption(p, s, QPointF(x + 80, y + 18), QString::fromLatin1(name));
        y += 38;
    }
}

void roundButtonDisc(QPainter &p, ColorScheme s, QRectF disc, QColor fill, const QBrush &ring)
{
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawEllipse(disc);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(ring, 0.5));
    p.drawEllipse(disc);
    Q_UNUSED(s);
}

void airdrop(QPainter &p, ColorScheme s)
{
    const QImage *mask = AirDropSVG::templateImage();
    // As the row shows it: 14 x 13 glyph on a 26 pt disc, then hovered.
    for (int hovered = 0; hovered < 2; ++hovered) {
        const QRectF disc(10 + hovered * 36, 10, 26, 26);
        roundButtonDisc(p, s, disc, (hovered ? kAirDropDiscHovered : kAirDropDisc).color(s),
                        glassStroke(s, disc));
        const QRectF glyph(disc.center() - QPointF(7, 6.5), QSizeF(14, 13));
        AirDropLogoView::paint(p, glyph, (hovered ? kAirDropGlyphHovered : kAirDropGlyph).color(s),
                               mask);
    }
    caption(p, s, QPointF(84, 27), QStringLiteral("row button, rest / hover"));
    AirDropLogoView::paint(p, QRectF(10, 50, 112, 105), kPrimaryText.color(s), mask);
    AirDropLogoView::paint(p, QRectF(140, 50, 105, 105), kBlue.color(s), mask);
    AirDropLogoView::paint(p, QRectF(265, 50, 60, 105), kRed.color(s), nullptr);
    caption(p, s, QPointF(10, 170), QStringLiteral("natural / square (squeezed) / fallback"));
}

// A desktop with no icon for the file.
class NoIcon final : public QAbstractFileIconProvider {
public:
    QIcon icon(const QFileInfo &) const override { return QIcon(); }
};

void fileIcons(QPainter &p, ColorScheme s, const QStringList &paths)
{
    double x = 10;
    for (const QString &path : paths) {
        FileIconView::paint(p, QRectF(x, 10, 32, 32), path, FileIconView::desktopProvider(), s);
        x += 44;
    }
    static const NoIcon none;
    FileIconView::paint(p, QRectF(x, 10, 32, 32), QString(), none, s);
    FileIconView::paint(p, QRectF(x + 44, 10, 60, 32), QString(), none, s);
    caption(p, s, QPointF(10, 60),
            QStringLiteral("desktop icons, then the fallback at 32x32, 60x32"));
}

void buttons(QPainter &p, ColorScheme s, Ticker &ticker)
{
    QWidget host;
    host.setPalette(schemePalette(s));
    for (int pressed = 0; pressed < 2; ++pressed) {
        auto *quit = new SnappyButton(&host, &ticker);
        quit->setLabelSize(QSize(52, 26));
        quit->setLabelPainter([s](QPainter &q, const QRectF &frame) {
            const QRectF shape = frame.adjusted(1, 1, -1, -1);
            q.setPen(Qt::NoPen);
            q.setBrush(kQuitFill.color(s));
            q.drawRoundedRect(shape, 8, 8);
            q.setBrush(Qt::NoBrush);
            q.setPen(QPen(glassStroke(s, shape), 0.5));
            q.drawRoundedRect(shape, 8, 8);
            q.setFont(systemFont(11, QFont::Bold, FontDesign::Rounded));
            q.setPen(kQuitLabel.color(s));
            q.drawText(frame, Qt::AlignCenter, QStringLiteral("Esci"));
        });
        quit->resize(quit->sizeHint());
        auto *close = new SnappyButton(&host, &ticker);
        close->setLabelSize(QSize(20, 20));
        close->setLabelPainter([s](QPainter &q, const QRectF &frame) {
            q.setPen(Qt::NoPen);
            q.setBrush(kCloseDisc.color(s));
            q.drawEllipse(frame);
            paintGlyph(q, Glyph::Multiply, frame.adjusted(6, 6, -6, -6), kCloseGlyph.color(s));
        });
        close->resize(close->sizeHint());
        if (pressed) {
            Q_EMIT quit->pressed();
            Q_EMIT close->pressed();
            for (int i = 0; i < 500; ++i)
                ticker.advance(0.002);
        }
        quit->render(&p, QPoint(10, 10 + pressed * 40), QRegion(), QWidget::DrawChildren);
        close->render(&p, QPoint(80, 13 + pressed * 40), QRegion(), QWidget::DrawChildren);
        caption(p, s, QPointF(112, 27 + pressed * 40),
                pressed ? QStringLiteral("pressed (0.9, 0.75)") : QStringLiteral("at rest"));
    }
}

void backdrops(QPainter &p, ColorScheme s)
{
    // A busy background stands for the desktop behind the panel.
    for (int y = 0; y < 120; y += 10) {
        for (int x = 0; x < 340; x += 10)
            p.fillRect(x, y, 10, 10,
                       ((x + y) / 10) % 2 ? QColor(220, 60, 60) : QColor(40, 120, 200));
    }
    int x = 10;
    const VisualEffectView::Material materials[] = {
        VisualEffectView::Material::Popover, VisualEffectView::Material::Menu,
        VisualEffectView::Material::Sidebar, VisualEffectView::Material::HudWindow};
    for (auto material : materials) {
        VisualEffectView opaque(material, VisualEffectView::BlendingMode::BehindWindow);
        opaque.setPalette(schemePalette(s));
        opaque.resize(70, 45);
        opaque.render(&p, QPoint(x, 10));
        VisualEffectView within(material, VisualEffectView::BlendingMode::WithinWindow);
        within.setPalette(schemePalette(s));
        within.resize(70, 45);
        within.render(&p, QPoint(x, 65), QRegion(), QWidget::DrawChildren);
        x += 80;
    }
}

void colours(QPainter &p, ColorScheme s)
{
    const std::pair<const char *, SchemeColor> swatches[] = {{"blue", kBlue},
                                                             {"cyan", kCyan},
                                                             {"orange", kOrange},
                                                             {"red", kRed},
                                                             {"primary text", kPrimaryText},
                                                             {"secondary", kSecondaryText}};
    int x = 10;
    for (const auto &[name, colour] : swatches) {
        p.fillRect(QRectF(x, 10, 44, 24), colour.color(s));
        caption(p, s, QPointF(x, 46), QString::fromLatin1(name));
        x += 54;
    }
    // The empty state's badge: dropzone fill, glass ring, gradient symbol.
    const QRectF circle(20, 64, kDropCircleDiameter, kDropCircleDiameter);
    p.setPen(Qt::NoPen);
    p.setBrush(dropzoneBg(s, circle));
    p.drawEllipse(circle);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(glassStroke(s, circle), 1.5));
    p.drawEllipse(circle);
    const QRectF symbol(circle.center() - QPointF(15, 15), QSizeF(30, 30));
    QLinearGradient symbolFill(symbol.topLeft(), symbol.bottomLeft());
    symbolFill.setColorAt(0, kBlue.in(s).at(0.85).color());
    symbolFill.setColorAt(1, kCyan.color(s));
    paintGlyph(p, Glyph::SquareAndArrowDownFill, symbol, symbolFill);
    // Title line and a glass-stroked card.
    paintGlyph(p, Glyph::TrayAndArrowDownFill, QRectF(120, 70, 16, 16), kBlue.color(s));
    p.setFont(systemFont(15, QFont::Bold, FontDesign::Rounded));
    p.setPen(kPrimaryText.color(s));
    p.drawText(QPointF(144, 84), QStringLiteral("QEL Stashlet"));
    const QRectF card(120, 100, 200, 44);
    p.setPen(Qt::NoPen);
    p.setBrush(kCardBase.color(s));
    p.drawRoundedRect(card, 12, 12);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(glassStroke(s, card), 1));
    p.drawRoundedRect(card, 12, 12);
    caption(p, s, QPointF(130, 126),
            QStringLiteral("font: %1")
                .arg(roundedFamily().isEmpty() ? QStringLiteral("UI default") : roundedFamily()));
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("gallery");
    if (!QDir().mkpath(folder))
        return 1;
    QTemporaryDir files;
    QStringList paths;
    for (const char *name : {"notes.txt", "photo.png", "archive.zip", "script.sh"}) {
        QFile file(files.filePath(QString::fromLatin1(name)));
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        paths << file.fileName();
    }
    QDir(files.path()).mkdir(QStringLiteral("folder"));
    paths << files.filePath(QStringLiteral("folder"));

    Ticker ticker;
    bool ok = true;
    for (ColorScheme s : {ColorScheme::Light, ColorScheme::Dark}) {
        ok &= save(folder, QStringLiteral("glyphs"), s, QSize(340, 312),
                   [s](QPainter &p) { glyphs(p, s); });
        ok &= save(folder, QStringLiteral("airdrop"), s, QSize(340, 180),
                   [s](QPainter &p) { airdrop(p, s); });
        ok &= save(folder, QStringLiteral("fileicons"), s, QSize(340, 70),
                   [&](QPainter &p) { fileIcons(p, s, paths); });
        ok &= save(folder, QStringLiteral("buttons"), s, QSize(340, 90),
                   [&](QPainter &p) { buttons(p, s, ticker); });
        ok &= save(folder, QStringLiteral("backdrop"), s, QSize(340, 120),
                   [s](QPainter &p) { backdrops(p, s); });
        ok &= save(folder, QStringLiteral("colours"), s, QSize(340, 160),
                   [s](QPainter &p) { colours(p, s); });
    }
    return ok ? 0 : 1;
}
