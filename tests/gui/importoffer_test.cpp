// The window's offer to import an Access database, answered through the test window services.
#include "gui/importoffer.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QSqlDatabase>
#include <QTemporaryDir>

#include "support/testservices.h"

namespace vexilo::gui {
namespace {

class ImportOffer : public ::testing::Test {
  protected:
    ImportOffer() : m_scope(m_services) {}
    QString accessCopy(const char* name) {
        const QString path = m_dir.filePath(QString::fromLatin1(name));
        EXPECT_TRUE(QFile::copy(QStringLiteral(VEXILO_TESTDATA "/nwind.mdb"), path));
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        return path;
    }
    void write(const QString& path, const QByteArray& data) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(data);
    }
    QByteArray read(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QTemporaryDir m_dir;
    testing::TestServices m_services;
    desktop::ScopedServices m_scope;
};

TEST_F(ImportOffer, AnAccessFileIsRecognisedByItsSignatureAndImportedBesideItWhenTheUserAccepts) {
    const QString access = accessCopy("Datos Finca.bdd");  // not named .mdb: the signature decides
    m_services.nextQuestionAnswer(true);
    const QString used = askToImportAccess(access);
    EXPECT_EQ(used, m_dir.filePath(QStringLiteral("Datos Finca.sqlite")));
    ASSERT_EQ(m_services.questions.size(), 1u);
    EXPECT_TRUE(m_services.questions[0].contains(used));
    ASSERT_EQ(m_services.messages.size(), 1u);
    EXPECT_TRUE(m_services.messages[0].text.contains(QStringLiteral("Los cambios del proceso se guardarán")));
    EXPECT_TRUE(m_services.messages[0].text.contains(used));
    EXPECT_FALSE(m_services.messages[0].text.contains(QChar('\n')));  // line breaks are single CRs
    EXPECT_TRUE(read(used).startsWith("SQLite format 3"));
}

TEST_F(ImportOffer, NothingIsAskedForAnotherDatabaseAndNothingIsUsedWhenTheUserDeclines) {
    const QString sqlite = m_dir.filePath(QStringLiteral("propia.mdb"));
    write(sqlite, QByteArray("SQLite format 3\0", 16) + QByteArray(100, '\0'));
    EXPECT_EQ(askToImportAccess(sqlite), sqlite);
    EXPECT_TRUE(m_services.questions.empty());

    const QString access = accessCopy("datos.mdb");
    m_services.nextQuestionAnswer(false);
    EXPECT_EQ(askToImportAccess(access), QString());
    EXPECT_FALSE(QFile::exists(m_dir.filePath(QStringLiteral("datos.sqlite"))));
    EXPECT_TRUE(m_services.messages.empty());
}

TEST_F(ImportOffer, AnEarlierImportIsKeptUnlessTheUserAsksToImportAgain) {
    const QString access = accessCopy("datos.mdb");
    const QString earlier = m_dir.filePath(QStringLiteral("datos.sqlite"));
    write(earlier, "importada antes");
    m_services.nextQuestionAnswer(false);
    EXPECT_EQ(askToImportAccess(access), earlier);
    EXPECT_EQ(read(earlier), QByteArray("importada antes"));
    ASSERT_EQ(m_services.messages.size(), 1u);
    EXPECT_TRUE(m_services.messages[0].text.contains(earlier));
    // Return keeps the copy: replacing it takes a deliberate "Sí".
    EXPECT_EQ(m_services.questionDefaults, std::vector<desktop::Answer>{desktop::Answer::No});

    m_services.nextQuestionAnswer(true);
    EXPECT_EQ(askToImportAccess(access), earlier);
    EXPECT_TRUE(read(earlier).startsWith("SQLite format 3"));
}

TEST_F(ImportOffer, AFailedImportIsShownAndLeavesNoDatabaseToUse) {
    const QString broken = m_dir.filePath(QStringLiteral("rota.mdb"));
    write(broken, QByteArray("\0\1\0\0Standard Jet DB\0", 20) + QByteArray(8192, '\0'));
    m_services.nextQuestionAnswer(true);
    EXPECT_EQ(askToImportAccess(broken), QString());
    ASSERT_EQ(m_services.messages.size(), 1u);
    EXPECT_EQ(m_services.messages[0].icon, core::Icon::Critical);
    EXPECT_FALSE(QFile::exists(m_dir.filePath(QStringLiteral("rota.sqlite"))));
}

}  // namespace
}  // namespace vexilo::gui
