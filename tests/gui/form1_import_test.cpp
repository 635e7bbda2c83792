// Choosing an Access database in the window: its import is offered, and the copy is what the job uses.
#include <gtest/gtest.h>

#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include "gui/form1.h"
#include "support/catalogfixture.h"
#include "support/testservices.h"

namespace vexilo::gui {
namespace {

class Form1Import : public ::testing::Test {
  protected:
    QString path(const char* name) const { return m_dir.filePath(QString::fromUtf8(name)); }
    QString accessCopy(const char* name) const {
        EXPECT_TRUE(QFile::copy(QStringLiteral(VEXILO_TESTDATA "/nwind.mdb"), path(name)));
        QFile::setPermissions(path(name), QFile::ReadOwner | QFile::WriteOwner);
        return path(name);
    }
    void chooseDatabase(Form1& form, const QString& path) {
        m_services.nextFile(path);
        form.findChild<QPushButton*>(QStringLiteral("Command2"))->click();
    }
    static QString text2(Form1& form) { return form.findChild<QLineEdit*>(QStringLiteral("Text2"))->text(); }

    QTemporaryDir m_dir;
    testing::TestServices m_services;
    desktop::ScopedServices m_installed{m_services};
};

TEST_F(Form1Import, AnAccessDatabaseIsImportedBesideItAndTheNewFileIsTheOneUsed) {
    Form1 form;
    const QString access = accessCopy("finca.mdb");
    m_services.nextQuestionAnswer(true);
    chooseDatabase(form, access);
    const QString fresh = path("finca.sqlite");
    EXPECT_EQ(form.state().NombreBdD, fresh);
    EXPECT_EQ(text2(form), fresh);
    EXPECT_TRUE(QFile::exists(fresh));
    ASSERT_EQ(m_services.questions.size(), 1u);
    ASSERT_EQ(m_services.messages.size(), 1u);
    EXPECT_TRUE(m_services.messages[0].text.contains(QStringLiteral("Los cambios del proceso se guardarán")));
}

// The import runs off the window's thread, as a job does: the window goes on answering the desktop
// meanwhile, busy, with the busy pointer, and takes no input.
TEST_F(Form1Import, TheWindowKeepsAnsweringWhileTheImportRuns) {
    Form1 form;
    const QString access = accessCopy("finca.mdb");
    m_services.nextQuestionAnswer(true);
    bool answeredWhileBusy = false;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] { answeredWhileBusy = answeredWhileBusy || form.busy(); });
    tick.start(0);
    chooseDatabase(form, access);
    tick.stop();
    EXPECT_TRUE(answeredWhileBusy) << "the window's events waited for the import";
    EXPECT_FALSE(form.busy());
    EXPECT_EQ(form.state().NombreBdD, path("finca.sqlite"));
    EXPECT_EQ(m_services.pointers,
              (std::vector<core::MousePointer>{core::MousePointer::Busy, core::MousePointer::Default}));
}

TEST_F(Form1Import, DecliningKeepsTheEarlierChoiceAndAnotherDatabaseIsNotAskedAbout) {
    Form1 form;
    testing::createCatalogDatabase(path("particular.sqlite"));
    chooseDatabase(form, path("particular.sqlite"));
    EXPECT_TRUE(m_services.questions.empty());
    EXPECT_EQ(form.state().NombreBdD, path("particular.sqlite"));

    m_services.nextQuestionAnswer(false);
    chooseDatabase(form, accessCopy("otra.mdb"));
    EXPECT_EQ(m_services.questions.size(), 1u);
    EXPECT_EQ(form.state().NombreBdD, path("particular.sqlite"));
    EXPECT_EQ(text2(form), path("particular.sqlite"));
    EXPECT_FALSE(QFile::exists(path("otra.sqlite")));
}

}  // namespace
}  // namespace vexilo::gui
