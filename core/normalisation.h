#pragma once
// Putting codes and texts read from the drawing file into the form in which they are compared with
// database values and written back. In all three a space is the space character (code 32) only: tabs
// and other blank characters are ordinary characters. Each is idempotent and never fails; texts of any
// length follow the same rules.

#include <QString>

namespace vexilo::core {

// Cuts `texto` at its first NUL character (keeps it whole if there is none) and trims its spaces.
void limpia_texto(QString& texto);

// Collapses every run of spaces into one space and trims the spaces at both ends.
void quitablancos(QString& texto);

// Trims `texto`; a code of 0 to 6 characters is then padded on the right with NUL characters to 7.
// A longer code is left as trimmed: storing it into the 7-character field cuts it.
void completa_codigo(QString& texto);

// Removes every leading and trailing space (code 32 only): the trimming the three above share.
QString trimSpaces(const QString& texto);
// The same trimming as a view over `texto`, without a copy.
QStringView trimmedSpaces(QStringView texto);
QLatin1String trimmedSpaces(QLatin1String texto);

// The upper form of a plain ASCII character (a-z become A-Z); any other code unit as it is. For plain
// ASCII it is the upper form QString gives.
constexpr char16_t asciiUpper(char16_t c) {
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - (u'a' - u'A')) : c;
}

}  // namespace vexilo::core
