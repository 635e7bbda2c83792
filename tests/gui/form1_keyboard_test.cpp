// The window from the keyboard: Return (or the keypad's Enter) presses the focused button as Space
// does, and Tab goes through the window in its reading order, past the boxes that only show something.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>

#include "gui/form1.h"
#include "support/catalogfixture.h"
#include "support/elementbuilder.h"
#include "support/testservices.h"

namespace vexilo::gui {
namespace {

using testing::ElementBuilder;

class Form1Keyboard : public ::testing::Test {
  protected:
    Form1Keyboard() {
        testing::createCatalogDatabase(path("particular.sqlite"));
        testing::writeFile(path("mapa.bin"), testing::concat({ElementBuilder::c().records(1),
                                                              ElementBuilder::t().texto("PLAZA").seed(5)}));
        form.show();
        QApplication::setActiveWindow(&form);
    }
    QString path(const char* name) const { return m_dir.filePath(QString::fromUtf8(name)); }
    QWidget* control(const char* name) { return form.findChild<QWidget*>(QString::fromUtf8(name)); }
    // A key pressed and let go on the widget that has the focus.
    void key(int code, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QWidget* target = QApplication::focusWidget();
        ASSERT_NE(target, nullptr);
        QKeyEvent press(QEvent::KeyPress, code, modifiers);
        QCoreApplication::sendEvent(target, &press);
        QKeyEvent release(QEvent::KeyRelease, code, modifiers);
        QCoreApplication::sendEvent(target, &release);
    }

    QTemporaryDir m_dir;
    testing::TestServices m_services;
    desktop::ScopedServices m_installed{m_services};
    Form1 form;
};

TEST_F(Form1Keyboard, ReturnAndEnterPressTheFocusedButton) {
    ASSERT_EQ(QApplication::focusWidget(), control("Command2"));
    m_services.nextFile(path("particular.sqlite"));
    key(Qt::Key_Return);
    EXPECT_EQ(m_services.dialogs.size(), 1u);
    EXPECT_EQ(form.state().NombreBdD, path("particular.sqlite"));

    control("Command3")->setFocus();
    m_services.nextFile(path("mapa.bin"));
    key(Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(m_services.dialogs.size(), 2u);
    EXPECT_EQ(form.state().NombreBin, path("mapa.bin"));

    control("Command1")->setFocus();
    key(Qt::Key_Return);
    EXPECT_TRUE(QFile::exists(path("mapa_s.bin")));
    EXPECT_TRUE(form.findChild<QLabel*>(QStringLiteral("Label1"))->isVisible());

    // Return with another key held is not a press.
    control("Command2")->setFocus();
    key(Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(m_services.dialogs.size(), 2u);
}

TEST_F(Form1Keyboard, TabFollowsTheReadingOrderAndPassesTheBoxesThatOnlyShow) {
    control("Text2")->setFocus();
    // The option selected is the one of its group that Tab stops at.
    const std::vector<const char*> order = {"Command2", "Command3", "Option2", "Command1", "Text2"};
    for (const char* name : order) {
        key(Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), control(name))
            << name << " got " << QApplication::focusWidget()->objectName().toStdString();
    }
    key(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), control("Command1"));
    key(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), control("Option2"));

    // The arrows choose another option, and Tab then stops at that one.
    key(Qt::Key_Down);
    EXPECT_TRUE(static_cast<QRadioButton*>(control("Option3"))->isChecked());
    control("Command3")->setFocus();
    key(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), control("Option3"));
    for (const char* shows : {"Text3", "Text1", "Text4", "Text5"}) {
        EXPECT_EQ(control(shows)->focusPolicy(), Qt::ClickFocus) << shows;
    }
}

}  // namespace
}  // namespace vexilo::gui
