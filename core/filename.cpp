// SPDX-License-Identifier: MIT
#include "filename.h"

#include <QString>
#include <QStringDecoder>

#include <optional>

namespace {

std::optional<QString> decodeUtf8(const std::string &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder(QByteArrayView(bytes));
    if (decoder.hasError()) {
        return std::nullopt;
    }
    return text;
}

} // namespace

std::string FileName::lastComponent(const std::filesystem::path &path)
{
    std::string text = path.native();
    while (text.size() > 1 && text.back() == '/') {
        text.pop_back();
    }
    return std::filesystem::path(text).filename().native();
}

bool FileName::equivalent(const std::string &a, const std::string &b, Qt::CaseSensitivity cs)
{
    if (a == b) {
        return true;
    }
    const auto ta = decodeUtf8(a);
    const auto tb = decodeUtf8(b);
    if (!ta || !tb) {
        return false;
    }
    return QString::compare(ta->normalized(QString::NormalizationForm_C),
                            tb->normalized(QString::NormalizationForm_C), cs) == 0;
}

bool FileName::isUsable(const std::string &name)
{
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string_view("/\0", 2)) == std::string::npos;
}
