// SPDX-License-Identifier: MIT
#include "sizelabel.h"

QString sizeLabel(std::uint64_t bytes, const QLocale &locale)
{
    // Fraction digits grow with the unit, so "823 kB", "1.5 MB" and "2.34 GB"
    // each say as much as the user can use; trailing zeros are dropped
    // ("2 MB", not "2.00 MB").
    int precision = 0;
    if (bytes >= 1'000'000'000) {
        precision = 2;
    } else if (bytes >= 1'000'000) {
        precision = 1;
    }
    QString text =
        locale.formattedDataSize(static_cast<qint64>(bytes), precision, QLocale::DataSizeSIFormat);
    if (precision == 0) {
        return text;
    }
    const QString point = locale.decimalPoint();
    const qsizetype at = text.indexOf(point);
    if (at < 0) {
        return text;
    }
    qsizetype end = at + point.size();
    while (end < text.size() && text.at(end).isDigit()) {
        ++end;
    }
    qsizetype keep = end;
    while (keep > at + point.size() && text.at(keep - 1).digitValue() == 0) {
        --keep;
    }
    if (keep == at + point.size()) {
        keep = at;
    }
    return text.remove(keep, end - keep);
}
