// SPDX-License-Identifier: MIT
#pragma once

#include "animation.h"
#include "colorscheme.h"

#include <QColor>
#include <QLinearGradient>
#include <QMargins>
#include <QPointF>
#include <QRectF>
#include <QSize>
#include <QSizeF>

// Every colour, size and timing of the panel, in one place. Lengths are
// device-independent pixels, durations seconds. A colour that differs by
// scheme is a light/dark pair; `.at(x)` multiplies its opacity by x.
namespace theme {

struct Rgba {
    int r = 0;
    int g = 0;
    int b = 0;
    double a = 1.0;
    constexpr Rgba at(double opacity) const { return {r, g, b, a * opacity}; }
    QColor color() const { return QColor::fromRgbF(r / 255.f, g / 255.f, b / 255.f, float(a)); }
};

struct SchemeColor {
    Rgba light;
    Rgba dark;
    constexpr SchemeColor at(double opacity) const { return {light.at(opacity), dark.at(opacity)}; }
    QColor color(ColorScheme scheme) const
    {
        return (scheme == ColorScheme::Dark ? dark : light).color();
    }
};

// Two stops, evenly spaced, from the first colour to the second.
struct SchemeGradient {
    SchemeColor start;
    SchemeColor end;
    QLinearGradient between(ColorScheme scheme, QPointF from, QPointF to) const
    {
        QLinearGradient gradient(from, to);
        gradient.setColorAt(0.0, start.color(scheme));
        gradient.setColorAt(1.0, end.color(scheme));
        return gradient;
    }
};

inline constexpr Rgba kWhite{255, 255, 255};
inline constexpr Rgba kBlack{0, 0, 0};
inline constexpr Rgba kClear{0, 0, 0, 0.0};

// The desktop's standard accent colours, sRGB; the dark ones are a touch
// brighter so they hold up on a dark backdrop.
inline constexpr SchemeColor kBlue{{0, 122, 255}, {10, 132, 255}};
inline constexpr SchemeColor kCyan{{50, 173, 230}, {100, 210, 255}};
inline constexpr SchemeColor kOrange{{255, 149, 0}, {255, 159, 10}};
inline constexpr SchemeColor kRed{{255, 59, 48}, {255, 69, 58}};

// Titles, headlines, a row's name; the base of the close glyph and quit label.
inline constexpr SchemeColor kPrimaryText{kBlack.at(0.85), kWhite.at(0.95)};
inline constexpr SchemeColor kSecondaryText{kBlack.at(0.5), kWhite.at(0.55)};

// Rim light of glass surfaces (quit button, drop circle, row card), top down.
inline constexpr SchemeGradient kGlassStroke{{kWhite.at(0.8), kWhite.at(0.18)},
                                             {kWhite.at(0.25), kWhite.at(0.04)}};
// Fill of the empty state's circle, top-left to bottom-right.
inline constexpr SchemeGradient kDropzoneBg{{kBlue.light.at(0.06), kBlue.dark.at(0.12)},
                                            {kCyan.light.at(0.01), kCyan.dark.at(0.02)}};

// Header and footer of the panel.
inline constexpr SchemeColor kCloseGlyph = kPrimaryText.at(0.6);
inline constexpr SchemeColor kCloseDisc{kBlack.at(0.06), kWhite.at(0.1)};
inline constexpr SchemeColor kSeparator{kBlack.at(0.06), kWhite.at(0.08)};
inline constexpr SchemeColor kClearLabel{kRed.light, kRed.dark.at(0.9)};
inline constexpr SchemeColor kClearFill{kRed.light.at(0.06), kRed.dark.at(0.12)};
inline constexpr SchemeColor kClearFillHovered{kRed.light.at(0.12), kRed.dark.at(0.22)};
inline constexpr SchemeColor kClearBorder{kRed.light.at(0.15), kRed.dark.at(0.25)};
inline constexpr SchemeColor kQuitLabel = kPrimaryText.at(0.8);
inline constexpr SchemeColor kQuitFill{kBlack.at(0.05), kWhite.at(0.08)};
inline constexpr SchemeColor kQuitFillHovered{kBlack.at(0.1), kWhite.at(0.15)};
inline constexpr SchemeColor kDropHighlightFill{kBlue.light.at(0.04), kBlue.dark.at(0.08)};
inline constexpr SchemeColor kBannerFill = kRed.at(0.85);
inline constexpr Rgba kBannerShadow = kBlack.at(0.2);
// The count badge while the shelf is empty.
inline constexpr Rgba kCountBadgeEmpty = kWhite.at(0.2);

// Empty state.
inline constexpr SchemeColor kDropCircleShadow{kBlue.light.at(0.05), kBlack.at(0.2)};
inline constexpr SchemeColor kDropSymbolShadow = kBlue.at(0.3);
// The symbol in the circle, top to bottom.
inline constexpr SchemeGradient kDropSymbolFill{kBlue.at(0.85), kCyan};

// File row card and its buttons.
inline constexpr SchemeColor kCardBase{kWhite.at(0.4), kBlack.at(0.22)};
inline constexpr SchemeColor kCardHoverTint{kBlack.at(0.02), kWhite.at(0.04)};
inline constexpr SchemeColor kCardShadow{kBlack.at(0.04), kBlack.at(0.2)};
inline constexpr SchemeColor kAirDropGlyph = kPrimaryText.at(0.75);
inline constexpr SchemeColor kAirDropGlyphHovered = kPrimaryText.at(0.95);
inline constexpr SchemeColor kAirDropDisc{kBlack.at(0.05), kWhite.at(0.08)};
inline constexpr SchemeColor kAirDropDiscHovered{kBlack.at(0.1), kWhite.at(0.15)};
inline constexpr SchemeColor kDeleteCross{kRed.light, kRed.dark.at(0.8)};
inline constexpr SchemeColor kDeleteCrossHovered = kRed;
inline constexpr SchemeColor kDeleteDisc{kRed.light.at(0.08), kRed.dark.at(0.15)};
inline constexpr SchemeColor kDeleteDiscHovered{kRed.light.at(0.15), kRed.dark.at(0.25)};
inline constexpr SchemeColor kDeleteRing{kRed.light.at(0.15), kRed.dark.at(0.25)};
inline constexpr SchemeColor kDeleteRingHovered{kRed.light.at(0.25), kRed.dark.at(0.4)};

// Backdrop tint over the blurred desktop; opaque when nothing can blur.
inline constexpr SchemeColor kPopoverMaterial{{246, 246, 246, 0.78}, {38, 38, 40, 0.78}};

// The popover's window where a compositor shows what lies around it.
inline constexpr double kPopoverCornerRadius = 10;
inline constexpr SchemeColor kPopoverRim{kBlack.at(0.18), kWhite.at(0.16)};
inline constexpr SchemeColor kPopoverShadow{kBlack.at(0.25), kBlack.at(0.5)};
inline constexpr double kPopoverShadowRadius = 6;
inline constexpr double kPopoverShadowOffsetY = 2;

// Sizes.
inline constexpr QSizeF kPanelSize{320, 420};
// Room between the tray icon and the popover's window, and around the panel
// inside it for its shadow (about where the blur fades out): the shadow never
// covers the tray icon, and the panel stays within 16 px of its bar.
inline constexpr int kPopoverGap = 4;
inline constexpr int kPopoverShadowRoom = 10;
inline constexpr QSizeF kFileIconFrame{32, 32};
inline constexpr QSizeF kAirDropGlyphFrame{14, 13};
inline constexpr double kRowButtonDiameter = 26;
inline constexpr double kCloseButtonDiameter = 20;
inline constexpr double kDropCircleDiameter = 80;

// Text sizes, in pixels.
inline constexpr int kTitleTextSize = 15; // the header's title, the empty state's headline
inline constexpr int kCountTextSize = 11;
inline constexpr int kHintTextSize = 11;
inline constexpr int kFooterTextSize = 11;
inline constexpr int kBannerTextSize = 12;
inline constexpr int kRowNameTextSize = 12;
inline constexpr int kRowSizeTextSize = 10;

// Header: title glyph, title, count badge and close button in a row.
inline constexpr int kHeaderSideMargin = 16;
inline constexpr int kHeaderTopBottomMargin = 14;
inline constexpr int kHeaderSpacing = 8;
inline constexpr double kTitleGlyphSize = 16;
inline constexpr QSizeF kCountBadgePadding{8, 3};
inline constexpr double kCloseGlyphSize = 10;
// The badge turns orange from this many entries, red at the shelf's limit.
inline constexpr int kCountWarnAt = 3;

// Footer: the clear and quit buttons.
inline constexpr int kFooterSideMargin = 16;
inline constexpr int kFooterTopBottomMargin = 12;
inline constexpr int kFooterSpacing = 12;
inline constexpr QSize kFooterLabelPadding{12, 6};
inline constexpr double kFooterCornerRadius = 8;

// Rims; the small buttons are the row discs and the footer's.
inline constexpr double kButtonRimWidth = 0.5;
inline constexpr double kCardRimWidth = 1;
inline constexpr double kPopoverRimWidth = 1;

// The ring around a button or a card that the keyboard reached.
inline constexpr SchemeColor kFocusRing = kBlue;
inline constexpr double kFocusRingWidth = 1.5;
inline constexpr double kFocusRingRadius = 6;

// The list of rows: its padding and the room between cards.
inline constexpr QMargins kListPadding{12, 12, 12, 8};
inline constexpr int kRowSpacing = 8;

// A file row's card, and its shadow (a row leaves room for it outside the card).
inline constexpr double kCardCornerRadius = 12;
inline constexpr double kCardShadowRadius = 4;
inline constexpr QPointF kCardShadowOffset{0, 2};
inline constexpr double kRowInsetX = 12;
inline constexpr double kRowInsetY = 10;
inline constexpr double kRowContentSpacing = 10;
inline constexpr double kRowLineSpacing = 2;
// A spacer's least length in a row of controls.
inline constexpr double kRowSpacerMinimum = 8;
inline constexpr double kRowButtonSpacing = 8;
// Below this the name is an ellipsis and little else.
inline constexpr double kRowNameMinimumWidth = 48;
inline constexpr double kCardHoverScale = 1.015;
inline constexpr double kRowButtonHoverScale = 1.08;
// The buttons' widgets reach this far past their discs, which a hovered card
// scales about its centre: a widget cannot draw outside itself.
inline constexpr int kRowButtonOverflow = 4;
// An "xmark" set in a 9 px bold font is about 7 px across; our glyph fills
// 14/24 of its frame.
inline constexpr double kRowCrossFrame = 12;
// The file icon's own shadow on the card.
inline constexpr double kIconShadowRadius = 2;
inline constexpr QPointF kIconShadowOffset{0, 1};
inline constexpr double kIconShadowOpacity = 0.1;

// A copy still running shows as a pending card after this long, so a small
// file's copy never flashes one. Its bar takes the size line's place; while
// the total is unknown a segment of the track's width sweeps along it.
inline constexpr double kPendingRevealDelay = 0.3;
inline constexpr double kProgressBarHeight = 4;
inline constexpr SchemeColor kProgressTrack{kBlack.at(0.1), kWhite.at(0.15)};
inline constexpr SchemeColor kProgressFill = kBlue;
inline constexpr double kProgressSweepFraction = 0.3;
inline constexpr double kProgressSweepPeriod = 1.2;
// A preview's corners, softened so a photo's edge does not cut the card.
inline constexpr double kPreviewCornerRadius = 4;

// The drop highlight: a dashed outline over a faint fill, inset in the content.
inline constexpr double kHighlightInset = 8;
inline constexpr double kHighlightRadius = 12;
inline constexpr double kHighlightLineWidth = 2.5;
inline constexpr double kHighlightDash = 6;
inline constexpr double kHighlightGap = 4;

// The error banner: a capsule over the content, rising from its bottom.
inline constexpr QSizeF kBannerPadding{16, 8};
inline constexpr double kBannerSideMargin = 16;
// The banner's lower edge above the content's bottom.
inline constexpr double kBannerBottom = 60;
inline constexpr double kBannerShadowRadius = 6;
inline constexpr QPointF kBannerShadowOffset{0, 3};

// The empty state: a circle with a symbol, a headline and a hint below.
inline constexpr int kEmptyTopBottomPadding = 40;
inline constexpr int kDropCircleToText = 20;
inline constexpr int kHeadlineToHint = 6;
inline constexpr int kHintSidePadding = 32;
inline constexpr double kHintExtraLineSpacing = 3;
inline constexpr double kDropCircleDragScale = 1.1;
inline constexpr double kDropCircleRimWidth = 1.5;
inline constexpr double kDropCircleShadowRadius = 10;
inline constexpr QPointF kDropCircleShadowOffset{0, 5};
inline constexpr double kDropSymbolSize = 30;
inline constexpr double kDropSymbolShadowRadius = 8;
inline constexpr QPointF kDropSymbolShadowOffset{0, 4};
// A symbol beside text, such as the sharing glyph standing in for AirDrop's.
inline constexpr double kSymbolSize = 13;

// Press feedback of every button: a quick, slightly bouncy shrink and fade.
inline constexpr double kPressedScale = 0.9;
inline constexpr double kPressedOpacity = 0.75;
inline constexpr Animation kPressSpring = Animation::spring(0.08, 0.5, 0.25);

// Timings shared by the panel's pieces.
inline constexpr Animation kHoverSpring = Animation::spring(0.1, 0.6, 0.25);
inline constexpr Animation kSettleSpring = Animation::spring(0.5, 1.0, 0.0);
inline constexpr Animation kDropHighlightFade = Animation::easeInOut(0.2);
inline constexpr Animation kBannerHide = Animation::easeInOut(0.3);
// The empty state's circle breathes 1.0 -> 1.05 and back every 4.4 s.
inline constexpr double kBreatheScale = 1.05;
inline constexpr Animation kBreathe = Animation::easeInOut(2.2).repeatForever(true);

inline QLinearGradient glassStroke(ColorScheme scheme, const QRectF &shape)
{
    return kGlassStroke.between(scheme, {shape.center().x(), shape.top()},
                                {shape.center().x(), shape.bottom()});
}

inline QLinearGradient dropzoneBg(ColorScheme scheme, const QRectF &shape)
{
    return kDropzoneBg.between(scheme, shape.topLeft(), shape.bottomRight());
}

} // namespace theme
