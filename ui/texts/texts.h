// SPDX-License-Identifier: MIT
#pragma once

#include <QCoreApplication>
#include <QString>

// Every text the user reads, in Italian, through Qt's translation machinery:
// a translator for the context "Texts", installed before the interface is
// built, replaces them. Counts are arguments, never concatenated, so a
// language can place them where its grammar wants; a count a noun follows is
// %n, so each language picks the noun's plural form for it.
class Texts final {
    Q_DECLARE_TR_FUNCTIONS(Texts)

public:
    // The program's name, the same in every language.
    static QString appName() { return QStringLiteral("QEL Stashlet"); }

    // Header: how many entries of how many fit, and its close button.
    static QString count(qsizetype entries, qsizetype limit)
    {
        return tr("%1/%2").arg(QString::number(entries), QString::number(limit));
    }
    static QString close() { return tr("Chiudi"); }
    // The count badge, which carries every staged file when dragged.
    static QString dragAll() { return tr("Trascina tutti i file"); }

    static QString emptyHeadline() { return tr("Trascina i file qui"); }
    static QString emptyHint(qsizetype limit)
    {
        return tr("Trascina qui fino a %n file per tenerli pronti ad essere riutilizzati e "
                  "spostati dove vuoi",
                  nullptr, int(limit));
    }

    // The size a card shows: the store's label, or these words when the
    // store has none (a folder, a size that could not be read).
    static QString size(const QString &label)
    {
        return label.isEmpty() ? tr("Dimensione sconosciuta") : label;
    }
    // A card as a screen reader speaks it: the name and the size it shows.
    static QString card(const QString &name, const QString &size)
    {
        return tr("%1, %2").arg(name, size);
    }
    // A row's buttons, spoken and shown as tool tips. The share button hands
    // the file to KDE Connect or GSConnect, which ask for the device.
    static QString share() { return tr("Invia a un dispositivo"); }
    static QString remove() { return tr("Rimuovi"); }

    // A pending card's button, and the card to a screen reader.
    static QString cancelCopy() { return tr("Annulla copia"); }
    static QString copying(const QString &name, int percent)
    {
        return percent < 0 ? tr("%1, copia in corso").arg(name)
                           : tr("%1, copia al %2%").arg(name, QString::number(percent));
    }
    // The banner over a paste that holds no local file.
    static QString nothingToPaste() { return tr("Negli appunti non ci sono file locali"); }

    // The panel's footer; the tray menu's quit as well.
    static QString clearAll() { return tr("Cancella Tutto"); }
    static QString quit() { return tr("Esci"); }

    // The banner over a drop that does not fit.
    static QString limitReached(qsizetype limit)
    {
        return tr("Hai già raggiunto il limite di %n file", nullptr, int(limit));
    }
    static QString onlyRoomFor(qsizetype room)
    {
        return tr("Puoi aggiungere solo altri %n file", nullptr, int(room));
    }

    // The tray icon's menu.
    static QString showPanel() { return tr("Mostra pannello"); }
    static QString hidePanel() { return tr("Nascondi pannello"); }
    static QString startAtLogin() { return tr("Avvia all'accesso"); }
};
