#pragma once

// Text of photo metadata as bytes: checking UTF-8 and reading the
// Windows-1252 that older programs wrote. No Qt: the metadata layer and the
// description reader share it.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// How many bytes of a well-formed UTF-8 sequence start at `i` (0: none; a
// byte below 0x80 is not a sequence here). Overlong forms, surrogates and
// code points above U+10FFFF are not well formed. Sets `truncated` when the
// bytes end inside an otherwise well-formed sequence.
int utf8SequenceAt(std::string_view bytes, std::size_t i, bool& truncated);

// Whether all the bytes are well-formed UTF-8.
bool isUtf8(std::string_view bytes);

// The character a Windows-1252 byte stands for; the five bytes that code
// nothing keep their C1 code, as every byte from 0xA0 keeps Latin-1's.
char16_t windows1252(std::uint8_t byte);

// Windows-1252 text (a superset of Latin-1's printable characters) as UTF-8.
std::string windows1252ToUtf8(std::string_view bytes);
