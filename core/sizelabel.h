// SPDX-License-Identifier: MIT
#pragma once

#include <QLocale>
#include <QString>

#include <cstdint>

// The size of a shelf entry as the user reads it: decimal units (1 kB = 1000
// bytes), the largest unit that keeps the number at least 1, in `locale`.
QString sizeLabel(std::uint64_t bytes, const QLocale &locale = QLocale());
