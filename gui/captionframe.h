#pragma once
// A frame drawn as the window's layout has it: an etched rectangle whose top edge runs through the middle
// of its caption, the caption starting where the controls inside start. The controls it holds keep the
// positions the layout gives them, in the window's font.

#include <QGroupBox>

namespace vexilo::gui {

class CaptionFrame : public QGroupBox {
    Q_OBJECT

  public:
    // `indent`: how far from the frame's left edge the caption starts, in pixels.
    CaptionFrame(const QString& title, int indent, QWidget* parent);

    // The rectangle the border is drawn on, in the frame's coordinates.
    QRect borderRect() const;
    // The room inside the border and below the caption, where the frame's controls go.
    QRect innerRect() const;
    // Where the caption is drawn, on the top edge.
    QRect captionRect() const;
    // The width that shows the whole caption with some of the top edge after it.
    int widthForCaption() const;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    int m_indent;
};

}  // namespace vexilo::gui
