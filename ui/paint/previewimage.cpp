// SPDX-License-Identifier: MIT
#include "previewimage.h"

#include <QCryptographicHash>
#include <QFile>
#include <QImageReader>
#include <QPainter>
#include <QPainterPath>
#include <QStandardPaths>

#include "uniquefd.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

// The cache's folders by the size of their pictures.
constexpr std::array<std::pair<const char *, int>, 4> kThumbnailFolders{{
    {"normal", 128},
    {"large", 256},
    {"x-large", 512},
    {"xx-large", 1024},
}};

// Reads the image no larger than `box` pixels a side; with `mtime`, only a
// thumbnail whose Thumb::MTime says it shows that version.
QImage readImage(QImageReader &reader, int box, const QByteArray &mtime = {})
{
    reader.setAutoTransform(true);
    reader.setAllocationLimit(PreviewImage::kAllocationLimitMb);
    const QSize size = reader.size();
    if (size.isEmpty()) {
        return {};
    }
    // A scaled read still decodes every pixel, except where the decoder
    // itself scales (JPEG, by up to 8 a side); and it skips the allocation limit.
    const qint64 pixels = qint64(size.width()) * size.height();
    if (pixels > PreviewImage::kMaxPixels * (reader.format() == "jpeg" ? 64 : 1)) {
        return {};
    }
    const bool smaller = size.width() > box || size.height() > box;
    if (mtime.isEmpty()) {
        if (smaller) {
            reader.setScaledSize(size.scaled(box, box, Qt::KeepAspectRatio));
        }
        return reader.read();
    }
    // Read whole, as QImageReader::text() splits keys at their first ':'.
    // A thumbnail is small by definition, and the limit holds anyway.
    const QImage image = reader.read();
    if (image.text(QStringLiteral("Thumb::MTime")).toLatin1() != mtime) {
        return {};
    }
    return smaller ? image.scaled(box, box, Qt::KeepAspectRatio, Qt::SmoothTransformation) : image;
}

QImage cachedThumbnail(const fs::path &original, const struct stat &st, int box)
{
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    const QString name = QString::fromLatin1(
        QCryptographicHash::hash(PreviewImage::thumbnailUri(original), QCryptographicHash::Md5)
            .toHex() +
        ".png");
    const QByteArray mtime = QByteArray::number(qint64(st.st_mtim.tv_sec));
    // The smallest that is large enough first, then the larger, then the rest.
    std::array<std::pair<const char *, int>, 4> folders = kThumbnailFolders;
    std::stable_partition(folders.begin(), folders.end(),
                          [box](const auto &folder) { return folder.second >= box; });
    std::reverse(std::find_if(folders.begin(), folders.end(),
                              [box](const auto &folder) { return folder.second < box; }),
                 folders.end());
    for (const auto &[folder, _] : folders) {
        const QString path = cache + QStringLiteral("/thumbnails/") + QLatin1String(folder) +
                             QLatin1Char('/') + name;
        if (QFile::exists(path)) {
            QImageReader reader(path);
            if (QImage image = readImage(reader, box, mtime); !image.isNull()) {
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
    const UniqueFd fd(::open(staged.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat st {};
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return {};
    }
    QFile file;
    if (!file.open(fd.get(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle)) {
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
    const qreal ratio = preview.devicePixelRatio();
    const int pixels = int(std::lround(side * ratio));
    QImage out(QSize(pixels, pixels), QImage::Format_ARGB32_Premultiplied);
    out.setDevicePixelRatio(ratio);
    out.fill(Qt::transparent);
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
