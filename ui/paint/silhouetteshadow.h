// SPDX-License-Identifier: MIT
#pragma once

#include <QColor>
#include <QImage>

// The drop shadow of whatever `image` holds: its alpha blurred by `radius`
// device-independent pixels and filled with `color`, same size and pixel
// ratio as `image`. The caller leaves room around the drawing for the blur.
// Far too slow for every frame; callers keep the result.
QImage silhouetteShadow(const QImage &image, double radius, const QColor &color);
