#pragma once
// A push button that Return and the keypad's Enter press when it has the focus, as Space does: on the
// desktop the window's layout comes from, that is what a focused button does, dialog or not.

#include <QPushButton>

namespace vexilo::gui {

class PushButton : public QPushButton {
    Q_OBJECT

  public:
    using QPushButton::QPushButton;

  protected:
    void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace vexilo::gui
