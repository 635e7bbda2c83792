#pragma once
// Character code page of the drawing file. The texts of our maps are Spanish and the file stores them as
// single-byte Windows-1252 characters; in memory they are Unicode (QString). Every byte decodes to one
// character and encodes back to the same byte, so opaque bytes that pass through a text survive intact.
// Case-insensitive comparisons of texts read from the file are made on the decoded Unicode text.

#include <QString>
#include <cstddef>
#include <cstdint>

namespace vexilo::drawing::codepage {

// The byte written for a character that Windows-1252 cannot hold.
constexpr std::uint8_t kReplacement = '?';

// The Unicode character of one file byte (every byte has one).
QChar toUnicode(std::uint8_t byte);

// The file byte of one Unicode character; kReplacement when the code page has none.
std::uint8_t fromUnicode(char32_t codePoint);

// Decodes n bytes into n characters: a text of its own, or written at `out`, which has room for them.
QString decode(const std::uint8_t* bytes, std::size_t n);
void decodeTo(const std::uint8_t* bytes, std::size_t n, QChar* out);

// Encodes a text: one byte per Unicode code point (a surrogate pair is one character and gives one
// byte), kReplacement for what the code page cannot hold.
QByteArray encode(const QString& text);
// The first bytes of encode(text), at most `capacity`, into `out`; returns how many were written.
std::size_t encodeTo(QStringView text, std::uint8_t* out, std::size_t capacity);

}  // namespace vexilo::drawing::codepage
