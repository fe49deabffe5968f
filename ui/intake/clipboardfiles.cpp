// SPDX-License-Identifier: MIT
#include "clipboardfiles.h"

#include "itemprovider.h"

#include <QMimeData>
#include <QString>

namespace {

const QString kGnomeCopiedFiles = QStringLiteral("x-special/gnome-copied-files");
const QString kUriList = QStringLiteral("text/uri-list");
const QString kKde4UriList = QStringLiteral("application/x-kde4-urilist");
const QString kPlainText = QStringLiteral("text/plain");
// Nautilus since 3.30 puts its copied files into plain text under this line.
const QByteArray kNautilusText = "x-special/nautilus-clipboard\n";

// The URI lines of the first format that offers any; copied-files lists
// start with the operation, which is dropped.
QList<QByteArray> uriLines(const QMimeData &data)
{
    QByteArray list;
    bool operationFirst = true;
    if (data.hasFormat(kGnomeCopiedFiles)) {
        list = data.data(kGnomeCopiedFiles);
    } else if (data.hasFormat(kPlainText) && data.data(kPlainText).startsWith(kNautilusText)) {
        list = data.data(kPlainText).mid(kNautilusText.size());
    } else {
        operationFirst = false;
        list = data.hasFormat(kUriList) ? data.data(kUriList) : data.data(kKde4UriList);
    }
    // libfm (PCManFM) sends its lists with the C string's terminator.
    while (list.endsWith('\0')) {
        list.chop(1);
    }
    QList<QByteArray> lines = list.split('\n');
    if (operationFirst && !lines.isEmpty()) {
        lines.removeFirst();
    }
    return lines;
}

// Keeps a name's raw bytes through QUrl, as the drop's own reading does:
// what is not printable ASCII is escaped, an escape already there kept.
QByteArray escapeUnprintable(const QByteArray &line)
{
    QByteArray escaped;
    for (const char c : line) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7f) {
            escaped += '%' + QByteArray::number(byte, 16).rightJustified(2, '0').toUpper();
        } else {
            escaped += c;
        }
    }
    return escaped;
}

} // namespace

ClipboardFiles::Paste ClipboardFiles::fromClipboard(const QMimeData &data)
{
    Paste paste;
    QByteArray accepted;
    for (const QByteArray &rawLine : uriLines(data)) {
        const QByteArray line = rawLine.trimmed();
        // RFC 2483: lines starting with '#' are comments.
        if (line.isEmpty() || line.startsWith('#')) {
            continue;
        }
        const QByteArray escaped = escapeUnprintable(line);
        const QUrl url = QUrl::fromEncoded(escaped);
        if (localFilePath(url)) {
            accepted += escaped + "\r\n";
        } else {
            paste.refused.append(url);
        }
    }
    if (!accepted.isEmpty()) {
        paste.files = std::make_unique<QMimeData>();
        paste.files->setData(kUriList, accepted);
    }
    return paste;
}

std::unique_ptr<QMimeData> ClipboardFiles::forCopy(const QList<TempFile> &files)
{
    QByteArrayList uris;
    QStringList paths;
    for (const TempFile &file : files) {
        uris.append(file.url().toEncoded());
        paths.append(QString::fromStdString(file.path().native()));
    }
    auto data = std::make_unique<QMimeData>();
    data->setData(kGnomeCopiedFiles, "copy\n" + uris.join('\n'));
    data->setData(kUriList, uris.join("\r\n") + "\r\n");
    data->setText(paths.join(QLatin1Char('\n')));
    return data;
}
