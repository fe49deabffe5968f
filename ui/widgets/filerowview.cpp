// SPDX-License-Identifier: MIT
#include "filerowview.h"

#include "diagnostics.h"
#include "paintkit.h"
#include "paintratio.h"
#include "rowbuttonface.h"
#include "rowcardimages.h"
#include "rowcolors.h"
#include "stashletmanager.h"
#include "texts.h"
#include "theme.h"

#include <QApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QEnterEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>

#include <cmath>

using namespace theme;

namespace {

// Springs `value` towards hovered or not, unless it is already on its way.
void hoverTo(AnimatedValue &value, bool hovered)
{
    if (value.target() != (hovered ? 1.0 : 0.0))
        value.animateTo(hovered ? 1.0 : 0.0, kHoverSpring);
}

} // namespace

FileRowView::FileRowView(const TempFile &file, StashletManager &manager, QWidget *parent)
    : QWidget(parent)
    , m_file(file)
    , m_manager(manager)
    , m_cardHover(new AnimatedValue(0.0, this))
    , m_airDropHover(new AnimatedValue(0.0, this))
    , m_deleteHover(new AnimatedValue(0.0, this))
    , m_airDropButton(new SnappyButton(this))
    , m_removeButton(new SnappyButton(this))
{
    setAttribute(Qt::WA_TranslucentBackground);
    setMouseTracking(true);
    // A click takes the focus too, so Delete and Enter act on the card the
    // user last touched; only the keyboard shows the ring.
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);

    // The card's scale moves the buttons too, so they repaint with the row.
    connect(m_cardHover, &AnimatedValue::changed, this, qOverload<>(&QWidget::update));
    connect(m_airDropHover, &AnimatedValue::changed, m_airDropButton,
            qOverload<>(&QWidget::update));
    connect(m_deleteHover, &AnimatedValue::changed, m_removeButton, qOverload<>(&QWidget::update));

    const QSize buttonSize(int(kRowButtonDiameter) + 2 * kRowButtonOverflow,
                           int(kRowButtonDiameter) + 2 * kRowButtonOverflow);
    const std::pair<SnappyButton *, QString> buttons[] = {{m_airDropButton, Texts::share()},
                                                          {m_removeButton, Texts::remove()}};
    for (const auto &[button, label] : buttons) {
        button->setLabelSize(buttonSize);
        button->resize(buttonSize);
        button->setToolTip(label);
        button->setAccessibleName(label);
        button->setLabelPainter([this, b = button](QPainter &painter, const QRectF &frame) {
            paintButtonLabel(painter, frame, b);
        });
        button->installEventFilter(this);
    }
    connect(m_airDropButton, &QAbstractButton::clicked, this,
            [this] { m_manager.shareViaAirDrop(m_file); });
    connect(m_removeButton, &QAbstractButton::clicked, this, &FileRowView::remove);

    setAccessibleName(Texts::card(m_file.displayName(), Texts::size(m_file.sizeString())));
    layoutContent();
}

void FileRowView::setFile(const TempFile &file)
{
    if (file == m_file)
        return;
    m_file = file;
    setAccessibleName(Texts::card(m_file.displayName(), Texts::size(m_file.sizeString())));
    layoutContent();
    update();
}

void FileRowView::setPreview(const QImage &preview)
{
    m_preview = preview.isNull() ? QImage() : RowCardImages::withIconShadow(preview);
    update();
}

double FileRowView::cardScale() const
{
    return 1.0 + (kCardHoverScale - 1.0) * m_cardHover->value();
}

QMargins FileRowView::overflowMargins()
{
    // The shadow reaches its blur radius around the card, shifted down by
    // its offset; the hovered scale adds about 2 px at each end of a
    // 300 px card, which the sides' blur room covers.
    const int blur = int(kCardShadowRadius);
    const int dy = int(kCardShadowOffset.y());
    return QMargins(blur, blur - dy, blur, blur + dy);
}

void FileRowView::open() const
{
    if (!QDesktopServices::openUrl(m_file.url()))
        Diagnostics::writeLine("No application opens the staged file: ", m_file.path().native());
}

void FileRowView::remove()
{
    // The store may publish, and the panel drop this row, before the call
    // returns; keep the entry alive for it.
    const TempFile entry = m_file;
    m_manager.removeFile(entry);
}

QSize FileRowView::sizeHint() const
{
    return RowLayout::cardSizeHint().grownBy(contentsMargins());
}

QRectF FileRowView::cardRect() const
{
    return QRectF(contentsRect());
}

void FileRowView::layoutContent()
{
    m_layout.place(cardRect(), m_file.displayName(), Texts::size(m_file.sizeString()));
    const QPoint overflow(kRowButtonOverflow, kRowButtonOverflow);
    m_airDropButton->move(m_layout.airDropDisc().toRect().topLeft() - overflow);
    m_removeButton->move(m_layout.removeDisc().toRect().topLeft() - overflow);
}

void FileRowView::resizeEvent(QResizeEvent *event)
{
    layoutContent();
    QWidget::resizeEvent(event);
}

void FileRowView::changeEvent(QEvent *event)
{
    // The cached drawings are keyed on the scheme; the buttons repaint with the row.
    if (event->type() == QEvent::PaletteChange) {
        update();
    } else if (event->type() == QEvent::ContentsRectChange || event->type() == QEvent::FontChange) {
        layoutContent();
        updateGeometry();
        update();
    }
    QWidget::changeEvent(event);
}

void FileRowView::enterEvent(QEnterEvent *event)
{
    hoverTo(*m_cardHover, cardRect().contains(event->position()));
    QWidget::enterEvent(event);
}

void FileRowView::leaveEvent(QEvent *event)
{
    hoverTo(*m_cardHover, false);
    QWidget::leaveEvent(event);
}

bool FileRowView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_airDropButton || watched == m_removeButton) {
        // The buttons sit on the card, so the pointer reaching one has
        // reached the card as well (also when it came straight from outside).
        AnimatedValue &hover = watched == m_airDropButton ? *m_airDropHover : *m_deleteHover;
        if (event->type() == QEvent::Enter) {
            hoverTo(*m_cardHover, true);
            hoverTo(hover, true);
        } else if (event->type() == QEvent::Leave) {
            hoverTo(hover, false);
        }
    }
    return QWidget::eventFilter(watched, event);
}

void FileRowView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        m_pressed = true;
        m_pressPos = event->position().toPoint();
    }
    QWidget::mousePressEvent(event);
}

void FileRowView::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    if (m_pressed && (event->buttons() & Qt::LeftButton) &&
        (pos - m_pressPos).manhattanLength() >= QApplication::startDragDistance()) {
        m_pressed = false;
        startDrag(m_pressPos);
        return;
    }
    if (!event->buttons())
        hoverTo(*m_cardHover, cardRect().contains(event->position()));
    QWidget::mouseMoveEvent(event);
}

void FileRowView::mouseReleaseEvent(QMouseEvent *event)
{
    m_pressed = false;
    QWidget::mouseReleaseEvent(event);
}

void FileRowView::mouseDoubleClickEvent(QMouseEvent *event)
{
    // Taken in place of the second press, which so starts no drag.
    if (event->button() == Qt::LeftButton)
        open();
}

void FileRowView::keyPressEvent(QKeyEvent *event)
{
    // A held key repeats: one file opened once, one card removed, not all.
    const bool once = !event->isAutoRepeat();
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (once)
            open();
        break;
    case Qt::Key_Delete:
    case Qt::Key_Backspace:
        if (once)
            remove();
        break;
    default:
        QWidget::keyPressEvent(event); // Escape goes on to the window
        break;
    }
}

void FileRowView::focusInEvent(QFocusEvent *event)
{
    m_focusRing.focusIn(event->reason());
    update();
    QWidget::focusInEvent(event);
}

void FileRowView::focusOutEvent(QFocusEvent *event)
{
    update();
    QWidget::focusOutEvent(event);
}

void FileRowView::startDrag(QPoint pressPos)
{
    const QPointer<FileRowView> self(this);
    FileDrag::run(this, mimeDataForDrag(), contentsRect(), pressPos);
    if (!self)
        return;
    // The pointer may have left during the drag without a leave event.
    hoverTo(*m_cardHover, cardRect().contains(mapFromGlobal(QCursor::pos())));
}

QTransform FileRowView::cardTransform(QPointF origin) const
{
    const QPointF centre = cardRect().center() - origin;
    const double scale = cardScale();
    QTransform transform;
    transform.translate(centre.x(), centre.y());
    transform.scale(scale, scale);
    transform.translate(-centre.x(), -centre.y());
    return transform;
}

void FileRowView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const qreal dpr = paintRatio(painter);
    const ColorScheme scheme = colorSchemeOf(palette());
    const RowCardImages::Card &cached = m_images.card(contentsRect().size(), scheme, dpr);
    const RowColors rest = RowColors::of(scheme, false);
    const QRectF card = cardRect();

    painter.setRenderHint(QPainter::Antialiasing);
    const QPointF cardPad(RowCardImages::kCardPad, RowCardImages::kCardPad);
    const QPainterPath path = RowCardImages::cardPath(card);
    // While the card is scaled, cached images would need resampling and
    // text would be drawn as outlines, each costing more than the whole
    // card at rest: base and rim are drawn as shapes, and icon and text keep
    // their size and only move with the card, 1.5 % being far below a pixel
    // at their size.
    const bool scaled = cardScale() != 1.0;
    const QTransform scale = cardTransform();
    if (scaled) {
        painter.save();
        painter.setWorldTransform(scale, true);
        painter.drawImage(card.topLeft() - cardPad, cached.shadow);
        painter.fillPath(path, cached.base);
        painter.restore();
    } else {
        painter.drawImage(card.topLeft() - cardPad, cached.under);
    }
    const double tint = m_cardHover->value();
    if (tint > 0.0) {
        painter.fillPath(scale.map(path),
                         blendColors(rest.cardTint, RowColors::of(scheme, true).cardTint, tint));
    }
    // Whole pixels keep the cached icon and the glyphs as crisp as at rest.
    auto moved = [&](QPointF at) {
        const QPointF p = scale.map(at);
        return QPointF(std::round(p.x() * dpr) / dpr, std::round(p.y() * dpr) / dpr);
    };
    const QPointF icon(card.left() + kRowInsetX, card.center().y() - kFileIconFrame.height() / 2);
    painter.drawImage(moved(icon) - QPointF(RowCardImages::kIconPad, RowCardImages::kIconPad),
                      m_preview.isNull() ? m_images.icon(m_file.path(), scheme, dpr) : m_preview);
    painter.setPen(rest.name);
    painter.setFont(RowLayout::nameFont());
    painter.drawStaticText(moved(m_layout.namePos()), m_layout.name());
    painter.setPen(rest.size);
    painter.setFont(RowLayout::sizeFont());
    painter.drawStaticText(moved(m_layout.sizePos()), m_layout.size());
    if (scaled) {
        painter.setWorldTransform(scale, true);
        painter.strokePath(path, PaintKit::hairline(glassStroke(scheme, card), kCardRimWidth));
    } else {
        painter.drawImage(card.topLeft() - cardPad, cached.border);
    }
    if (m_focusRing.isShown(*this))
        FocusRing::paint(painter, path, scheme);
}

void FileRowView::paintButtonLabel(QPainter &painter, const QRectF &frame,
                                   const SnappyButton *button) const
{
    const bool airDrop = button == m_airDropButton;
    const double hover = (airDrop ? m_airDropHover : m_deleteHover)->value();
    if (cardScale() != 1.0)
        painter.setWorldTransform(cardTransform(button->pos()), true);
    const double scale = 1.0 + (kRowButtonHoverScale - 1.0) * hover;
    painter.translate(frame.center());
    painter.scale(scale, scale);
    painter.translate(-frame.center());
    RowButtonFace::paint(painter,
                         airDrop ? RowButtonFace::Kind::AirDrop : RowButtonFace::Kind::Remove,
                         colorSchemeOf(palette()), frame.center(), hover);
}
