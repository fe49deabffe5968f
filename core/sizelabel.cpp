// SPDX-License-Identifier: MIT
#include "sizelabel.h"

#include <QRegularExpression>

QString sizeLabel(std::uint64_t bytes, const QLocale &locale)
{
    // Fraction digits grow with the unit, so "823 kB", "1.5 MB" and "2.34 GB"
    // each say as much as the user can use; trailing zeros are dropped
    // ("2 MB", not "2.00 MB").
    const int precision = bytes >= 1'000'000'000 ? 2 : bytes >= 1'000'000 ? 1 : 0;
    QString text =
        locale.formattedDataSize(static_cast<qint64>(bytes), precision, QLocale::DataSizeSIFormat);
    // A fraction of zeros goes with its point; a fraction's last zeros alone.
    const QString zeros =
        QStringLiteral("(?:%1)+(?!\\d)").arg(QRegularExpression::escape(locale.zeroDigit()));
    const QRegularExpression trailing(
        QStringLiteral("%1%2|(%1\\d*?)%2")
            .arg(QRegularExpression::escape(locale.decimalPoint()), zeros),
        QRegularExpression::UseUnicodePropertiesOption); // any script's digits
    return text.replace(trailing, QStringLiteral("\\1"));
}
