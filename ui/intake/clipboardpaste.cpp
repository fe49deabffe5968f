// SPDX-License-Identifier: MIT
#include "clipboardpaste.h"

#include "diagnostics.h"
#include "selectionreader.h"
#include "urilist.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QPointer>

#include <climits>
#include <string>

namespace {

// UriList reads at most kMaxLines lines, and a line longer than every byte of
// a path escaped names no file: ~790 KiB is all it can ever use, so nothing
// past this bound changes a paste.
constexpr qsizetype kReadBound = 1 << 20;
static_assert(UriList::kMaxLines * (3 * PATH_MAX + 64) < kReadBound);

SelectionReader &reader()
{
    // One clipboard, one reader; it goes with the application, and its event
    // filter with it.
    static QPointer<SelectionReader> instance;
    if (instance.isNull()) {
        instance = new SelectionReader(QCoreApplication::instance());
        QObject::connect(
            instance, &SelectionReader::finished, instance,
            [](const SelectionReader::Result &result) {
                if (result.outcome == SelectionReader::Outcome::TimedOut) {
                    Diagnostics::writeLine(
                        "Paste given up: the clipboard's owner did not answer within " +
                        std::to_string(SelectionReader::kTimeout.count()) + " ms");
                }
            });
    }
    return *instance;
}

} // namespace

void ClipboardPaste::read(QObject *context,
                          std::function<void(const ClipboardFiles::Offered &)> done)
{
    SelectionReader &selection = reader();
    if (!selection.onX11() || QGuiApplication::clipboard()->ownsClipboard()) {
        const QMimeData *data = QGuiApplication::clipboard()->mimeData();
        done(data != nullptr ? ClipboardFiles::fromClipboard(*data) : ClipboardFiles::Offered{});
        return;
    }
    if (selection.reading()) {
        Diagnostics::writeLine("Paste ignored: the clipboard is still being read");
        return;
    }
    // Dropped unheard with `context`.
    QObject::connect(
        &selection, &SelectionReader::finished, context,
        [done = std::move(done)](const SelectionReader::Result &result) {
            QByteArray data = result.data;
            if (result.cut) // a line cut short could name another file: whole lines only
                data.truncate(data.lastIndexOf('\n') + 1);
            done(ClipboardFiles::fromData(result.format, std::move(data)));
        },
        Qt::SingleShotConnection);
    selection.start(ClipboardFiles::chosenFormat, kReadBound);
}
