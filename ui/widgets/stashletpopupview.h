// SPDX-License-Identifier: MIT
#pragma once

#include "tempfile.h"

#include <QPointer>
#include <QWidget>

class BackgroundPool;
class ContentArea;
class PanelHeader;
class QMimeData;
class SnappyButton;
class StashletManager;

// The whole panel the tray icon opens: header, the drop area with the shelf,
// and the footer with "Cancella Tutto" and "Esci". It changes the shelf only
// through the store and closes only by asking, with closeRequested().
class StashletPopupView final : public QWidget {
    Q_OBJECT

public:
    // Drop loads run on `pool`; both it and `manager` outlive the panel.
    StashletPopupView(StashletManager &manager, BackgroundPool &pool, QWidget *parent = nullptr);

    PanelHeader *header() const { return m_header; }
    ContentArea *contentArea() const { return m_content; }
    SnappyButton *clearButton() const { return m_clearButton; }
    SnappyButton *quitButton() const { return m_quitButton; }
    // The clipboard's files through the same intake as a drop.
    void paste();

Q_SIGNALS:
    // "Esci" was pressed; the application ends through its one quit path.
    void terminateRequested();
    // The close button was pressed; whoever shows the panel decides.
    void closeRequested();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void onTempFilesChanged();
    SnappyButton *makeFooterButton(const QString &text, bool clear);
    void orderTabChain();
    // The focused card's staged file, else the hovered one's, to the clipboard
    // while its entry is listed; false when no card is either.
    bool copyCurrentRow();
    // Takes the copy off the clipboard when its entry left `files`: a later
    // file of the same name would be staged at the path it offers.
    void withdrawCopy(const QList<TempFile> &files);

    StashletManager &m_manager;
    PanelHeader *m_header;
    ContentArea *m_content;
    SnappyButton *m_clearButton;
    SnappyButton *m_quitButton;
    // What Ctrl+C last put on the clipboard, and whose entry it offers.
    QPointer<QMimeData> m_copied;
    QUuid m_copiedId;
};
