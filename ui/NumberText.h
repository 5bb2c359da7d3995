#pragma once

#include <QStringView>

#include <cstdint>

// The whole number at the start of a text, read as the C library's string
// to number conversion reads it: leading white space skipped, an optional
// sign, then the decimal digits up to the first other character. No digits
// gives 0; a number beyond the signed 32-bit range gives the nearer limit.
std::int32_t numberFromText(QStringView text);
