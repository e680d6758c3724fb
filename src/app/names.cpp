#include "app/names.h"

#include "archive/codepage.h"

namespace kelvot::app {

QString NameToText(std::string_view name) {
    QString text(static_cast<qsizetype>(name.size()), Qt::Uninitialized);
    for (std::size_t i = 0; i < name.size(); ++i)
        text[static_cast<qsizetype>(i)] =
            QChar(static_cast<char16_t>(Cp1252ToUnicode(static_cast<unsigned char>(name[i]))));
    return text;
}

std::optional<std::string> TextToName(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    return Utf8ToCp1252(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
}

} // namespace kelvot::app
