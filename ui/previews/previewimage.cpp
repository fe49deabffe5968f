// SPDX-License-Identifier: MIT
#include "previewimage.h"

#include <QCryptographicHash>
#include <QFile>
#include <QImageReader>
#include <QPainter>
#include <QPainterPath>
#include <QStandardPaths>

#include "paintkit.h"
#include "uniquefd.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

// Past these an image is not decoded at all, whatever its file size (a
// forged header can claim any size): decoding takes memory and, more than a
// second for every 10 million pixels on a slow machine, time on the pool.
constexpr int kAllocationLimitMb = 64;
constexpr qint64 kMaxPixels = 16'000'000;

// The cache's folders by the size of their pictures, smallest first.
constexpr std::array<std::pair<const char *, int>, 4> kThumbnailFolders{{
    {"normal", 128},
    {"large", 256},
    {"x-large", 512},
    {"xx-large", 1024},
}};

// What a cached thumbnail must say of itself to stand for a file: the
// thumbnail cache is keyed by the file's URI alone, so one made for an
// earlier file of the same name is found too.
struct ThumbnailOf {
    QByteArray uri;
    QByteArray mtime;
    QByteArray size;

    bool describes(const QImage &thumbnail) const
    {
        // Compared unescaped: writers differ in the characters they escape.
        const QString named = thumbnail.text(QStringLiteral("Thumb::URI"));
        const QString bytes = thumbnail.text(QStringLiteral("Thumb::Size"));
        return !named.isEmpty() &&
               QByteArray::fromPercentEncoding(named.toUtf8()) ==
                   QByteArray::fromPercentEncoding(uri) &&
               thumbnail.text(QStringLiteral("Thumb::MTime")).toLatin1() == mtime &&
               (bytes.isNull() || bytes.toLatin1() == size);
    }
};

bool isIndexed(QImage::Format format)
{
    return format == QImage::Format_Mono || format == QImage::Format_MonoLSB ||
           format == QImage::Format_Indexed8;
}

// A scaled read keeps every pixel decoded at once (see below); so may this
// true-colour copy of an indexed image.
static_assert(kMaxPixels * 4 <= qint64(kAllocationLimitMb) << 20);

// Reads the image no larger than `box` pixels a side; with `thumbnail`, only
// a thumbnail that says it shows that file.
QImage readImage(QImageReader &reader, int box, const ThumbnailOf *thumbnail = nullptr)
{
    reader.setAutoTransform(true);
    reader.setAllocationLimit(kAllocationLimitMb);
    const QSize size = reader.size();
    if (size.isEmpty()) {
        return {};
    }
    // A scaled read still decodes every pixel, except where the decoder
    // itself scales (JPEG, by up to 8 a side); and it skips the allocation limit.
    const qint64 pixels = qint64(size.width()) * size.height();
    if (pixels > kMaxPixels * (reader.format() == "jpeg" ? 64 : 1)) {
        return {};
    }
    const bool smaller = size.width() > box || size.height() > box;
    // Qt scales an indexed image (a palette or 1-bit PNG) back into its
    // palette, dithered: a solid colour comes out as black and white dots.
    if (!thumbnail && smaller && !isIndexed(reader.imageFormat())) {
        reader.setScaledSize(size.scaled(box, box, Qt::KeepAspectRatio));
        return reader.read();
    }
    // Read whole: a thumbnail, as QImageReader::text() splits keys at their first ':'; an
    // indexed image, to scale its true colours. The allocation limit holds for both.
    QImage image = reader.read();
    if (thumbnail && !thumbnail->describes(image)) {
        return {};
    }
    if (!smaller || image.isNull()) {
        return image;
    }
    if (isIndexed(image.format())) {
        image.convertTo(image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                : QImage::Format_RGB32);
    }
    return image.scaled(box, box, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

// Opens `path` for `file` when it is a regular file, never waiting: a FIFO
// or a device in the thumbnail cache would hold a pool thread in open().
UniqueFd openRegular(const char *path, QFile &file, struct stat &st)
{
    UniqueFd fd(::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) ||
        !file.open(fd.get(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle)) {
        return UniqueFd();
    }
    return fd;
}

QImage cachedThumbnail(const fs::path &original, const struct stat &st, int box)
{
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    const ThumbnailOf wanted{PreviewImage::thumbnailUri(original),
                             QByteArray::number(qint64(st.st_mtim.tv_sec)),
                             QByteArray::number(qint64(st.st_size))};
    const QString name = QString::fromLatin1(
        QCryptographicHash::hash(wanted.uri, QCryptographicHash::Md5).toHex() + ".png");
    // The smallest that is large enough first, then the larger, then the rest, largest first.
    auto folders = kThumbnailFolders;
    const auto large = std::find_if(folders.begin(), folders.end(),
                                    [box](const auto &folder) { return folder.second >= box; });
    std::reverse(folders.begin(), large);
    std::rotate(folders.begin(), large, folders.end());
    for (const auto &[folder, _] : folders) {
        const QString path = cache + QStringLiteral("/thumbnails/") + QLatin1String(folder) +
                             QLatin1Char('/') + name;
        QFile file;
        struct stat thumbnailStat {};
        const UniqueFd fd = openRegular(QFile::encodeName(path).constData(), file, thumbnailStat);
        if (fd.valid()) {
            QImageReader reader(&file, "png");
            if (QImage image = readImage(reader, box, &wanted); !image.isNull()) {
                return image;
            }
        }
    }
    return {};
}

} // namespace

QByteArray PreviewImage::thumbnailUri(const fs::path &file)
{
    return "file://" + QByteArray::fromStdString(file.native()).toPercentEncoding("!$&'()*+,/:=@");
}

QImage PreviewImage::make(const fs::path &staged, const fs::path &original, int logicalSize,
                          qreal ratio)
{
    // By descriptor, so a name that is not UTF-8 is read all the same.
    QFile file;
    struct stat st {};
    const UniqueFd fd = openRegular(staged.c_str(), file, st);
    if (!fd.valid()) {
        return {};
    }
    // The name's suffix first, as for a file opened by name: some formats
    // (TGA) cannot be told by their content.
    QImageReader reader(&file,
                        QByteArray::fromStdString(staged.extension().native()).mid(1).toLower());
    const int box = int(std::lround(logicalSize * ratio));
    QImage image = readImage(reader, box);
    if (image.isNull() && !original.empty()) {
        // The copy kept the original's modification time, which is what the cache checks.
        image = cachedThumbnail(fs::absolute(original), st, box);
    }
    if (!image.isNull()) {
        image.setDevicePixelRatio(ratio);
    }
    return image;
}

QImage PreviewImage::framed(const QImage &preview, double side, double radius)
{
    QImage out = PaintKit::transparentImage(QSizeF(side, side), preview.devicePixelRatio());
    const QSizeF size = preview.deviceIndependentSize();
    const QRectF at(QPointF((side - size.width()) / 2, (side - size.height()) / 2), size);
    QPainter painter(&out);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    QPainterPath shape;
    shape.addRoundedRect(at, radius, radius);
    painter.setClipPath(shape);
    painter.drawImage(at, preview);
    return out;
}
