// SPDX-License-Identifier: MIT
#include "clipboardfiles.h"

#include <QMimeData>
#include <QString>
#include <QStringDecoder>
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
// UTF-8, which the decoder replaces and so does not give back.
int printableSequence(QByteArrayView bytes, qsizetype at)
{
    for (qsizetype length = 1; length <= 4 && at + length <= bytes.size(); ++length) {
        const QByteArrayView sequence = bytes.sliced(at, length);
        QStringDecoder decode(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
        const QString text = decode(sequence);
        if (text.toUtf8() == sequence)
            return text.front().category() == QChar::Other_Control ? 0 : int(length);
    }
    return 0;
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
            if (length == 0)
                break;
            end += length;
        }
        if (end > at) {
            quoted += '\'' + path.sliced(at, end - at).toByteArray().replace('\'', "'\\''") + '\'';
            at = end;
            continue;
        }
        any = true;
        quoted += "$'";
        for (; at < path.size() && printableSequence(path, at) == 0; ++at)
            quoted += "\\x" + QByteArray(1, path[at]).toHex();
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
