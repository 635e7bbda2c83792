// The window's offer to import an Access database, answered through the test window services.
#include "gui/ofrecimiento.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QSqlDatabase>
#include <QTemporaryDir>

#include "support/testservices.h"

namespace vexilo::gui {
namespace {

class Ofrecimiento : public ::testing::Test {
  protected:
    Ofrecimiento() : m_scope(m_servicios) {}
    QString copiaAccess(const char* nombre) {
        const QString ruta = m_dir.filePath(QString::fromLatin1(nombre));
        EXPECT_TRUE(QFile::copy(QStringLiteral(VEXILO_TESTDATA "/nwind.mdb"), ruta));
        QFile::setPermissions(ruta, QFile::ReadOwner | QFile::WriteOwner);
        return ruta;
    }
    void escribe(const QString& ruta, const QByteArray& datos) {
        QFile f(ruta);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(datos);
    }
    QByteArray lee(const QString& ruta) {
        QFile f(ruta);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QTemporaryDir m_dir;
    testing::TestServices m_servicios;
    platform::ScopedServices m_scope;
};

TEST_F(Ofrecimiento, AnAccessFileIsRecognisedByItsSignatureAndImportedBesideItWhenTheUserAccepts) {
    const QString access = copiaAccess("Datos Finca.bdd");  // not named .mdb: the signature decides
    m_servicios.nextQuestionAnswer(true);
    const QString usada = ofreceImportarAccess(access);
    EXPECT_EQ(usada, m_dir.filePath(QStringLiteral("Datos Finca.sqlite")));
    ASSERT_EQ(m_servicios.questions.size(), 1u);
    EXPECT_TRUE(m_servicios.questions[0].contains(usada));
    ASSERT_EQ(m_servicios.messages.size(), 1u);
    EXPECT_TRUE(
        m_servicios.messages[0].text.contains(QStringLiteral("Los cambios del proceso se guardarán")));
    EXPECT_TRUE(m_servicios.messages[0].text.contains(usada));
    EXPECT_FALSE(m_servicios.messages[0].text.contains(QChar('\n')));  // line breaks are single CRs
    EXPECT_TRUE(lee(usada).startsWith("SQLite format 3"));
}

TEST_F(Ofrecimiento, NothingIsAskedForAnotherDatabaseAndNothingIsUsedWhenTheUserDeclines) {
    const QString sqlite = m_dir.filePath(QStringLiteral("propia.mdb"));
    escribe(sqlite, QByteArray("SQLite format 3\0", 16) + QByteArray(100, '\0'));
    EXPECT_EQ(ofreceImportarAccess(sqlite), sqlite);
    EXPECT_TRUE(m_servicios.questions.empty());

    const QString access = copiaAccess("datos.mdb");
    m_servicios.nextQuestionAnswer(false);
    EXPECT_EQ(ofreceImportarAccess(access), QString());
    EXPECT_FALSE(QFile::exists(m_dir.filePath(QStringLiteral("datos.sqlite"))));
    EXPECT_TRUE(m_servicios.messages.empty());
}

TEST_F(Ofrecimiento, AnEarlierImportIsKeptUnlessTheUserAsksToImportAgain) {
    const QString access = copiaAccess("datos.mdb");
    const QString previa = m_dir.filePath(QStringLiteral("datos.sqlite"));
    escribe(previa, "importada antes");
    m_servicios.nextQuestionAnswer(false);
    EXPECT_EQ(ofreceImportarAccess(access), previa);
    EXPECT_EQ(lee(previa), QByteArray("importada antes"));
    ASSERT_EQ(m_servicios.messages.size(), 1u);
    EXPECT_TRUE(m_servicios.messages[0].text.contains(previa));

    m_servicios.nextQuestionAnswer(true);
    EXPECT_EQ(ofreceImportarAccess(access), previa);
    EXPECT_TRUE(lee(previa).startsWith("SQLite format 3"));
}

TEST_F(Ofrecimiento, AFailedImportIsShownAndLeavesNoDatabaseToUse) {
    const QString rota = m_dir.filePath(QStringLiteral("rota.mdb"));
    escribe(rota, QByteArray("\0\1\0\0Standard Jet DB\0", 20) + QByteArray(8192, '\0'));
    m_servicios.nextQuestionAnswer(true);
    EXPECT_EQ(ofreceImportarAccess(rota), QString());
    ASSERT_EQ(m_servicios.messages.size(), 1u);
    EXPECT_EQ(m_servicios.messages[0].icon, platform::Icon::Critical);
    EXPECT_FALSE(QFile::exists(m_dir.filePath(QStringLiteral("rota.sqlite"))));
}

}  // namespace
}  // namespace vexilo::gui
