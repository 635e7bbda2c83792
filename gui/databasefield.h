#pragma once
// The database box: a file path or a server URI may be typed or pasted into it. A password in a URI is
// drawn as dots from its first character on, as any password box draws it; the box keeps what was
// typed, password included, for the window to take when the edit ends.

#include <QString>

#include "gui/pathdisplay.h"

namespace vexilo::gui {

class DatabaseField : public PathField {
    Q_OBJECT

  public:
    explicit DatabaseField(QWidget* parent = nullptr);

    // What the user typed, password included; text() is what the box shows.
    const QString& typedText() const { return m_typed; }
    // What the program writes into the box (never with a password): shown as it is, and taken as typed.
    void setTypedText(const QString& text);

  private:
    // After an edit by the user: `shown` is the box's text with the edit made. The edit is the part
    // of it that ends at the cursor and differs from what was shown before; that part is what was
    // typed, and the rest stays as typed before. The box then draws the password as dots again.
    void takeEdit(const QString& shown);

    QString m_typed;
    QString m_shown;  // what the box showed after the last change: m_typed, its password as dots
};

// `typed` with every password it holds as a server URI (in its user part, or a "password=" parameter)
// turned into `dot`, one for each character. While the user part is typed, a ':' before any '@' may
// be the one before a port: what follows it is hidden once it is anything but digits.
QString hidePasswords(const QString& typed, QChar dot);

}  // namespace vexilo::gui
