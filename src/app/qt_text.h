#pragma once

// The window shows and edits QStrings; the core speaks GBK Text. These convert at the
// widget boundary. Characters that GBK lacks become '?' on the way in.

#include <QString>

#include "text/codepage.h"
#include "text/text.h"

namespace sh::app {

inline QString toQString(const sh::text::Text& gbk) {
    const std::string utf8 = sh::text::utf8(gbk);
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

inline sh::text::Text toText(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    return sh::text::gbk(std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())));
}

}  // namespace sh::app
