#pragma once
// The decimal separator the value texts use, from the user's regional settings. Read at start
// and again when the system announces a change of them. GUI thread.

#include "vemor/Values.h"

#include <QByteArray>
#include <QLocale>

#include <string_view>

namespace vemor {

inline char SystemDecimalSeparator() {
    const QByteArray sep = QLocale::system().decimalPoint().toUtf8();
    return DecimalSeparatorFrom(std::string_view(sep.data(), static_cast<std::size_t>(sep.size())));
}

} // namespace vemor
