#include "gui/pushbutton.h"

#include <QKeyEvent>

namespace vexilo::gui {

void PushButton::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const Qt::KeyboardModifiers others = event->modifiers() & ~Qt::KeypadModifier;
    if (!enter || others != Qt::NoModifier) {
        QPushButton::keyPressEvent(event);
        return;
    }
    event->accept();
    if (!event->isAutoRepeat()) {  // a key held down presses once
        click();
    }
}

}  // namespace vexilo::gui
