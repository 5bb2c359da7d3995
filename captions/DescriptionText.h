#pragma once

#include <QByteArray>
#include <QString>

#include <string_view>

// Longest description text (in bytes) whose EXIF segment still fits the
// 16-bit length of one APP1 segment.
constexpr qsizetype kMaxDescriptionBytes = 65500;

// The description bytes of a file as text: valid UTF-8 sequences decode as
// UTF-8, every other byte as Windows-1252, so nothing turns into replacement
// marks. When the reader cut the text at its limit (cutByReader), an
// incomplete UTF-8 sequence at the very end is dropped instead.
QString decodeDescription(std::string_view bytes, bool cutByReader = false);

// The bytes to store: UTF-8 up to the first NUL, cut at a character
// boundary to at most kMaxDescriptionBytes.
QByteArray encodeDescription(const QString& description);

// The APP1 segment that carries a description: one IFD0 entry,
// ImageDescription (ASCII) with the count of text bytes, the text at TIFF
// offset 26 followed by 0x06. A text of 4 bytes or fewer is also held in
// the entry's value field, where TIFF readers look for short values.
// Empty for an empty text. The text must fit (see kMaxDescriptionBytes).
QByteArray descriptionSegment(const QByteArray& text);
