// SPDX-License-Identifier: MIT
#include "clipboardfiles.h"

#include <QMimeData>
#include <QString>
#include <QStringList>

namespace {

const QString kGnomeCopiedFiles = QStringLiteral("x-special/gnome-copied-files");
const QString kUriList = QStringLiteral("text/uri-list");
const QString kKde4UriList = QStringLiteral("application/x-kde4-urilist");
const QString kPlainText = QStringLiteral("text/plain");
// Nautilus since 3.30 puts its copied files into plain text under this line.
const QByteArray kNautilusText = "x-special/nautilus-clipboard\n";

// Where the line after the first starts: copied-files lists start with
// the operation.
qsizetype afterFirstLine(const QByteArray &list, qsizetype from)
{
    const qsizetype newline = list.indexOf('\n', from);
    return newline < 0 ? list.size() : newline + 1;
}

// The length of the UTF-8 sequence at `at` that encodes a printable
// character; 0 for a control character (C0, DEL, C1) or bytes that are not
// UTF-8.
int printableSequence(QByteArrayView bytes, qsizetype at)
{
    const auto byte = [&](qsizetype i) {
        return i < bytes.size() ? static_cast<unsigned char>(bytes[i]) : 0u;
    };
    const unsigned lead = byte(at);
    if (lead < 0x80) {
        return lead >= 0x20 && lead != 0x7f ? 1 : 0;
    }
    int length = 0;
    unsigned low = 0x80;
    unsigned high = 0xbf;
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2;
        low = lead == 0xc2 ? 0xa0 : 0x80; // U+0080..U+009F are the C1 controls
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        low = lead == 0xe0 ? 0xa0 : 0x80;  // no overlong forms
        high = lead == 0xed ? 0x9f : 0xbf; // no surrogates
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        low = lead == 0xf0 ? 0x90 : 0x80;
        high = lead == 0xf4 ? 0x8f : 0xbf;
    } else {
        return 0;
    }
    if (byte(at + 1) < low || byte(at + 1) > high) {
        return 0;
    }
    for (int i = 2; i < length; ++i) {
        if (byte(at + i) < 0x80 || byte(at + i) > 0xbf) {
            return 0;
        }
    }
    return length;
}

// A path as text a terminal can take: as it is when every character is
// printable, else quoted as bash reads it back ('...' and $'\xHH'), so a line
// feed in a name never starts a second command and no byte is lost.
QString pathAsText(const std::string &native)
{
    const QByteArrayView path(native);
    QByteArray quoted;
    bool any = false;
    for (qsizetype at = 0; at < path.size();) {
        qsizetype end = at;
        while (end < path.size()) {
            const int length = printableSequence(path, end);
            if (length == 0) {
                break;
            }
            end += length;
        }
        if (end > at) {
            quoted += '\'' + path.sliced(at, end - at).toByteArray().replace('\'', "'\\''") + '\'';
            at = end;
            continue;
        }
        any = true;
        quoted += "$'";
        for (; at < path.size() && printableSequence(path, at) == 0; ++at) {
            quoted +=
                "\\x" +
                QByteArray::number(static_cast<unsigned char>(path[at]), 16).rightJustified(2, '0');
        }
        quoted += '\'';
    }
    return QString::fromUtf8(any ? quoted : path.toByteArray());
}

} // namespace

QString ClipboardFiles::chosenFormat(const QStringList &formats)
{
    for (const QString &format : {kGnomeCopiedFiles, kUriList, kKde4UriList, kPlainText}) {
        if (formats.contains(format))
            return format;
    }
    return {};
}

ClipboardFiles::Offered ClipboardFiles::fromData(const QString &format, QByteArray data)
{
    Offered offered;
    offered.data = std::move(data);
    if (format == kGnomeCopiedFiles) {
        offered.start = afterFirstLine(offered.data, 0);
    } else if (format == kPlainText) {
        offered.start = offered.data.startsWith(kNautilusText)
                            ? afterFirstLine(offered.data, kNautilusText.size())
                            : offered.data.size();
    }
    return offered;
}

ClipboardFiles::Offered ClipboardFiles::fromClipboard(const QMimeData &data)
{
    const QString format = chosenFormat(data.formats());
    return format.isEmpty() ? Offered{} : fromData(format, data.data(format));
}

std::unique_ptr<QMimeData> ClipboardFiles::forCopy(const QList<TempFile> &files)
{
    QByteArrayList uris;
    QStringList paths;
    for (const TempFile &file : files) {
        uris.append(file.url().toEncoded());
        paths.append(pathAsText(file.path().native()));
    }
    auto data = std::make_unique<QMimeData>();
    data->setData(kGnomeCopiedFiles, "copy\n" + uris.join('\n'));
    data->setData(kUriList, uris.join("\r\n") + "\r\n");
    data->setText(paths.join(QLatin1Char('\n')));
    return data;
}
