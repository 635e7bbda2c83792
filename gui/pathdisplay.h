#pragma once
// Controls that show a path: the whole text stays the control's text (what the program wrote and what
// tests read); only the drawing cuts a path that does not fit, in its middle, keeping the file name.

#include <QLabel>
#include <QLineEdit>
#include <QStringList>

namespace vexilo::gui {

// A label whose lines are paths. A lone carriage return breaks the line, as the program writes it; when
// the box is too low for every line they are drawn on one, joined by a blank.
class PathLabel : public QLabel {
    Q_OBJECT

  public:
    using QLabel::QLabel;
    // The lines as they are drawn, each cut to the label's width.
    QStringList shownLines() const;
    // The lines of the text, before any cut.
    QStringList lines() const;

  protected:
    void paintEvent(QPaintEvent* event) override;
};

// A text box for a path (read-only unless the window lets a name be typed into it). With the focus it
// behaves as any text box (select, scroll, copy or edit the whole path); without it, a path that does
// not fit is drawn cut in its middle.
class PathField : public QLineEdit {
    Q_OBJECT

  public:
    using QLineEdit::QLineEdit;
    // The text as it is drawn without the focus.
    QString shownText() const;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QRect textRect() const;
};

}  // namespace vexilo::gui
