// SPDX-License-Identifier: MIT
#include "stashletpopupview.h"

#include "clipboardfiles.h"
#include "clipboardpaste.h"
#include "colorscheme.h"
#include "contentarea.h"
#include "dropintake.h"
#include "filerowview.h"
#include "fonts.h"
#include "panelheader.h"
#include "snappybutton.h"
#include "stashletmanager.h"
#include "texts.h"
#include "theme.h"
#include "ticker.h"
#include "visualeffectview.h"

#include <QAccessibleWidget>
#include <QApplication>
#include <QClipboard>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QVBoxLayout>

#include <utility>

using namespace theme;

namespace {

QFont footerFont()
{
    return systemFont(kFooterTextSize, QFont::Bold, FontDesign::Rounded);
}

// The platform's divider, on a band of the separator colour.
class Separator final : public QWidget {
public:
    explicit Separator(QWidget *parent)
        : QWidget(parent)
    {
        setFixedHeight(1);
        setAttribute(Qt::WA_TranslucentBackground);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        const ColorScheme scheme = colorSchemeOf(palette());
        QPainter painter(this);
        painter.fillRect(rect(), kSeparator.color(scheme));
        QColor line = palette().color(QPalette::WindowText);
        line.setAlphaF(0.1f);
        painter.fillRect(rect(), line);
    }
};

// To a screen reader the overlay is the banner: an alert, there only while
// it has a message.
class BannerAccessible final : public QAccessibleWidget {
public:
    explicit BannerAccessible(QWidget *overlay)
        : QAccessibleWidget(overlay, QAccessible::AlertMessage)
    {
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.invisible = widget()->accessibleName().isEmpty();
        return state;
    }
};

// What the painted pieces of the panel are to screen readers; Qt knows the
// buttons. Each card is an item of a list.
QAccessibleInterface *accessibleRole(const QString &className, QObject *object)
{
    if (!object->isWidgetType())
        return nullptr;
    auto *widget = static_cast<QWidget *>(object);
    if (className == QLatin1String("FileRowView"))
        return new QAccessibleWidget(widget, QAccessible::ListItem);
    if (className == QLatin1String("ContentOverlay"))
        return new BannerAccessible(widget);
    return nullptr;
}

} // namespace

StashletPopupView::StashletPopupView(StashletManager &manager, BackgroundPool &pool,
                                     QWidget *parent)
    : QWidget(parent)
    , m_manager(manager)
    , m_header(new PanelHeader(this))
    , m_content(new ContentArea(manager, pool, this))
    , m_clearButton(makeFooterButton(Texts::clearAll(), true))
    , m_quitButton(makeFooterButton(Texts::quit(), false))
{
    static bool rolesInstalled = false; // once per process
    if (!std::exchange(rolesInstalled, true))
        QAccessible::installFactory(accessibleRole);
    setFixedSize(kPanelSize.toSize());
    setAttribute(Qt::WA_TranslucentBackground);
    auto *backdrop = new VisualEffectView(this);
    backdrop->setGeometry(rect());
    backdrop->lower();

    auto *footer = new QWidget(this);
    auto *footerLayout = new QHBoxLayout(footer);
    footerLayout->setContentsMargins(kFooterSideMargin, kFooterTopBottomMargin, kFooterSideMargin,
                                     kFooterTopBottomMargin);
    footerLayout->setSpacing(kFooterSpacing);
    footerLayout->addWidget(m_clearButton);
    footerLayout->addStretch();
    footerLayout->addWidget(m_quitButton);
    // Keeps the footer's height when the clear button goes.
    footer->setMinimumHeight(m_quitButton->sizeHint().height() + 2 * kFooterTopBottomMargin);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(m_header);
    column->addWidget(new Separator(this));
    column->addWidget(m_content, 1);
    column->addWidget(new Separator(this));
    column->addWidget(footer);

    // clearAll() empties the list a turn later; the empty state and the
    // badge follow that publication, the badge on its own spring.
    connect(m_clearButton, &QAbstractButton::clicked, this, [this] { m_manager.clearAll(); });
    connect(m_quitButton, &QAbstractButton::clicked, this, &StashletPopupView::terminateRequested);
    connect(m_header->closeButton(), &QAbstractButton::clicked, this,
            &StashletPopupView::closeRequested);

    connect(&manager, &StashletManager::tempFilesChanged, this,
            &StashletPopupView::onTempFilesChanged);
    onTempFilesChanged();
}

SnappyButton *StashletPopupView::makeFooterButton(const QString &text, bool clear)
{
    auto *button = new SnappyButton(this);
    button->setText(text);
    button->setAccessibleName(text);
    button->setLabelSize(QFontMetrics(footerFont()).size(0, text) + 2 * kFooterLabelPadding);
    // Hover changes the fill at once, with no animation of its own.
    button->setAttribute(Qt::WA_Hover);
    button->setLabelPainter([this, button, clear](QPainter &painter, const QRectF &frame) {
        const ColorScheme scheme = colorSchemeOf(palette());
        const double half = kButtonRimWidth / 2;
        const QRectF shape = frame.adjusted(half, half, -half, -half);
        const bool hovered = button->underMouse();
        const SchemeColor &fill = clear ? (hovered ? kClearFillHovered : kClearFill)
                                        : (hovered ? kQuitFillHovered : kQuitFill);
        painter.setBrush(fill.color(scheme));
        const QBrush rim =
            clear ? QBrush(kClearBorder.color(scheme)) : QBrush(glassStroke(scheme, shape));
        painter.setPen(QPen(rim, kButtonRimWidth, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
        painter.drawRoundedRect(shape, kFooterCornerRadius, kFooterCornerRadius);
        painter.setFont(footerFont());
        painter.setPen((clear ? kClearLabel : kQuitLabel).color(scheme));
        painter.drawText(frame, Qt::AlignCenter, button->text());
    });
    return button;
}

void StashletPopupView::onTempFilesChanged()
{
    const QList<TempFile> &files = m_manager.tempFiles();
    m_header->setFiles(files);
    m_content->setEntries(files);
    withdrawCopy(files);
    m_clearButton->setVisible(!files.isEmpty());
    orderTabChain();
}

void StashletPopupView::orderTabChain()
{
    // Rows are made as entries arrive, after the footer; Qt's chain follows
    // creation. Top to bottom instead: each card, then its buttons.
    QWidget *previous = m_header->closeButton();
    for (FileRowView *row : m_content->rows()) {
        for (QWidget *next :
             std::initializer_list<QWidget *>{row, row->airDropButton(), row->removeButton()}) {
            QWidget::setTabOrder(previous, next);
            previous = next;
        }
    }
    QWidget::setTabOrder(previous, m_clearButton);
    QWidget::setTabOrder(m_clearButton, m_quitButton);
}

void StashletPopupView::keyPressEvent(QKeyEvent *event)
{
    // With the panel just opened nothing is focused: the arrows enter the list.
    if (event->key() == Qt::Key_Down || event->key() == Qt::Key_Up) {
        m_content->focusRow(event->key() == Qt::Key_Down ? 0 : StashletManager::kLimit,
                            Qt::TabFocusReason);
        return;
    }
    // Cards and buttons leave these to the panel.
    if (event->matches(QKeySequence::Paste)) {
        paste();
        return;
    }
    if (event->matches(QKeySequence::Copy) && copyCurrentRow())
        return;
    QWidget::keyPressEvent(event);
}

void StashletPopupView::paste()
{
    ClipboardPaste::read(this, [this](const ClipboardFiles::Offered &offered) {
        m_content->dropIntake().handlePaste(offered.uriList());
    });
}

bool StashletPopupView::copyCurrentRow()
{
    const QList<FileRowView *> list = m_content->rows();
    const QWidget *focus = QApplication::focusWidget();
    auto chosen = std::find_if(list.begin(), list.end(),
                               [focus](FileRowView *row) { return row->isAncestorOf(focus); });
    if (chosen == list.end())
        chosen = std::find_if(list.begin(), list.end(),
                              [](FileRowView *row) { return row->isHovered(); });
    if (chosen == list.end())
        return false;
    m_copied = ClipboardFiles::forCopy({(*chosen)->file()}).release();
    m_copiedId = (*chosen)->file().id();
    QGuiApplication::clipboard()->setMimeData(m_copied);
    return true;
}

void StashletPopupView::withdrawCopy(const QList<TempFile> &files)
{
    // The clipboard deletes what it no longer offers; what it still offers
    // is ours only while it is the copy we made.
    if (m_copied.isNull() || std::any_of(files.begin(), files.end(), [this](const TempFile &file) {
            return file.id() == m_copiedId;
        })) {
        return;
    }
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (clipboard->mimeData() == m_copied)
        clipboard->clear();
    m_copied.clear();
}

void StashletPopupView::showEvent(QShowEvent *event)
{
    Ticker::shared().setPanelVisible(true);
    QWidget::showEvent(event);
}

void StashletPopupView::hideEvent(QHideEvent *event)
{
    m_content->dropIntake().dismissError();
    Ticker::shared().setPanelVisible(false);
    QWidget::hideEvent(event);
}
