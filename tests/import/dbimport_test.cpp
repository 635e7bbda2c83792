// Imports between any two databases: Access, SQLite files and databases on a throwaway PostgreSQL
// cluster, compared with the direct Access -> SQLite import of the same file.
#include "import/dbimport.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUrl>
#include <QUrlQuery>
#include <QUuid>
#include <ctime>

#include "cli/cliprocess.h"
#include "engines/dao.h"
#include "support/dbdump.h"
#include "support/dbfixture.h"
#include "support/pgcluster.h"

namespace vexilo::importer {
namespace {

using testing::PgCluster;

const QString kNwind = QStringLiteral(VEXILO_TESTDATA "/nwind.mdb");

// Every table of a SQLite file with its columns as declared (name, type, not-null flag), in order.
QStringList declaredColumns(const QString& path) {
    const QString name = QUuid::createUuid().toString();
    QStringList columns;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        EXPECT_TRUE(db.open());
        for (const QString& t : db.tables()) {
            QSqlQuery q(db);
            EXPECT_TRUE(q.exec(QStringLiteral("SELECT name, type, \"notnull\" FROM pragma_table_info('%1') "
                                              "ORDER BY cid")
                                   .arg(t)));
            while (q.next()) {
                columns << t + QChar('.') + q.value(0).toString() + QChar(' ') + q.value(1).toString() +
                               QChar(' ') + q.value(2).toString();
            }
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return columns;
}

std::unique_ptr<engines::Database> open(const QString& name) {
    return engines::DBEngine::instance().Workspaces(0).OpenDatabase(name);
}

std::int64_t rowCount(const QString& database, const QString& table) {
    auto db = open(database);
    const auto n = static_cast<std::int64_t>(db->ReadRows(table, {}).size());
    db->Close();
    return n;
}

std::vector<QString> tableNames(const QString& database) {
    auto db = open(database);
    std::vector<QString> names;
    for (int i = 0; i < db->TableDefsCount(); ++i) {
        names.push_back(db->TableDefName(i));
    }
    db->Close();
    return names;
}

QString errorOf(const QString& source, const QString& destination, bool force) {
    try {
        runImport(source, destination, force);
    } catch (const ImportError& e) {
        return e.message();
    }
    return {};
}

// Every value of a SQLite table as SQLite itself tells it: its kind and its literal, column by column.
QStringList typedValues(const QString& path, const QString& table, const QStringList& columns) {
    const QString name = QUuid::createUuid().toString();
    QStringList values;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        EXPECT_TRUE(db.open());
        QSqlQuery q(db);
        for (const QString& c : columns) {
            EXPECT_TRUE(q.exec(QStringLiteral("SELECT typeof(\"%1\") || ' ' || quote(\"%1\") FROM \"%2\" "
                                              "ORDER BY rowid")
                                   .arg(c, table)));
            while (q.next()) {
                values << c + QChar(' ') + q.value(0).toString();
            }
        }
        q.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return values;
}

// What another program may keep in a SQLite file: whole numbers past 32 bits in an INTEGER column,
// numbers in a NUMERIC one, an empty blob, two characters outside the basic plane in a VARCHAR(3), and
// the hour that the change to summer time skips in Madrid.
const QStringList kValueColumns{QStringLiteral("grande"), QStringLiteral("numero"), QStringLiteral("bytes"),
                                QStringLiteral("corto"), QStringLiteral("fecha")};

void fillOtherProgramsTable(testing::TestDatabase& source) {
    source.exec(
        QStringLiteral("CREATE TABLE \"Valores\" (grande INTEGER, numero NUMERIC(10,2), bytes BLOB, "
                       "corto VARCHAR(3), fecha DATETIME)"));
    source.exec(
        QString::fromUtf8("INSERT INTO \"Valores\" VALUES (9223372036854775807, 12, x'', "
                          "'\xF0\x9F\x98\x80\xF0\x9F\x98\x80', '2024-03-31 02:30:00')"));
    source.exec(
        QStringLiteral("INSERT INTO \"Valores\" VALUES (-4294967296, 1.5, NULL, 'abc', "
                       "'1999-12-31 23:59:58')"));
}

// The time zone of this process for the life of one object.
class LocalZone {
  public:
    explicit LocalZone(const char* zone) : m_before(qgetenv("TZ")), m_had(qEnvironmentVariableIsSet("TZ")) {
        qputenv("TZ", zone);
        tzset();
    }
    ~LocalZone() {
        if (m_had) {
            qputenv("TZ", m_before);
        } else {
            qunsetenv("TZ");
        }
        tzset();
    }

  private:
    QByteArray m_before;
    bool m_had;
};

TEST(FileImport, ACopyBetweenSqliteFilesKeepsEveryValueAndItsKind) {
    LocalZone madrid("Europe/Madrid");
    testing::TestDatabase source;
    fillOtherProgramsTable(source);
    const QString copy = source.pathFor(QStringLiteral("copia.sqlite"));
    const Result r = runImport(source.path(), copy, false);
    ASSERT_EQ(r.tables.size(), 1u);
    EXPECT_EQ(r.tables[0].rows, 2);
    const QStringList expected = typedValues(source.path(), QStringLiteral("Valores"), kValueColumns);
    ASSERT_EQ(expected.size(), 10);
    EXPECT_EQ(typedValues(copy, QStringLiteral("Valores"), kValueColumns), expected);

    // A table this system made keeps its definition: a 32-bit field still refuses a larger number.
    testing::TestDatabase own;
    {
        auto db = engines::CreateDatabase(own.path());
        engines::TableDef def(QStringLiteral("PARCELAS"));
        def.Append({QStringLiteral("mslink"), engines::dbLong, 0});
        def.Append({QStringLiteral("tmapa"), engines::dbText, 100});
        db->AppendTableDef(def);
        db->InsertRow(QStringLiteral("PARCELAS"), {{QStringLiteral("mslink"), 7}});
        db->Close();
    }
    const QString ownCopy = own.pathFor(QStringLiteral("copia.sqlite"));
    runImport(own.path(), ownCopy, false);
    EXPECT_EQ(declaredColumns(ownCopy), declaredColumns(own.path()));
    auto db = open(ownCopy);
    EXPECT_THROW(db->InsertRow(QStringLiteral("PARCELAS"), {{QStringLiteral("mslink"), 4294967296LL}}),
                 core::EngineError);
    db->Close();
}

// A destination that reports the rows it holds as told.
class CountingDestination : public Destination {
  public:
    explicit CountingDestination(std::int64_t held) : m_held(held) {}
    void beginTable(const StreamTable&) override {}
    void row(const std::vector<QVariant>&) override {}
    void endTable() override {}
    std::int64_t storedRows(const QString&) override { return m_held; }
    void finish() override {}

  private:
    std::int64_t m_held;
};

TEST(RowCounts, ADestinationHoldingMoreOrFewerRowsThanTheSourceGaveIsAnError) {
    const std::vector<ImportedTable> tables{{QStringLiteral("Orders"), 830}};
    CountingDestination same(830);
    EXPECT_NO_THROW(checkRowCounts(tables, same));
    for (std::int64_t held : {829, 831, 0}) {
        CountingDestination other(held);
        try {
            checkRowCounts(tables, other);
            ADD_FAILURE() << "accepted " << held << " rows";
        } catch (const ImportError& e) {
            EXPECT_TRUE(e.message().contains(QStringLiteral("Orders"))) << e.message().toStdString();
        }
    }
}

class ServerImport : public ::testing::Test {
  protected:
    void SetUp() override {
        m_cluster = PgCluster::instance();
        ASSERT_NE(m_cluster, nullptr);
        ASSERT_TRUE(m_dir.isValid());
    }
    QString file(const QString& name) const { return m_dir.filePath(name); }

    PgCluster* m_cluster = nullptr;
    QTemporaryDir m_dir;
};

TEST_F(ServerImport, AccessThroughTheServerBackToSqliteKeepsTablesColumnsTypesSizesNullsAndRowOrder) {
    const QString direct = file(QStringLiteral("direct.sqlite"));
    const QString back = file(QStringLiteral("back.sqlite"));
    const QString server = m_cluster->freshDatabase();
    runImport(kNwind, direct, false);
    const Result toServer = runImport(kNwind, server, false);
    const Result fromServer = runImport(server, back, false);

    ASSERT_EQ(toServer.tables.size(), 8u);
    ASSERT_EQ(fromServer.tables.size(), toServer.tables.size());
    for (std::size_t i = 0; i < toServer.tables.size(); ++i) {
        EXPECT_EQ(fromServer.tables[i].name, toServer.tables[i].name);
        EXPECT_EQ(fromServer.tables[i].rows, toServer.tables[i].rows);
    }
    EXPECT_EQ(tableNames(back), tableNames(direct));
    EXPECT_EQ(declaredColumns(back), declaredColumns(direct));
    const QStringList rows = testing::rowsOfEveryTable(direct);
    EXPECT_GT(rows.size(), 3000);
    EXPECT_EQ(testing::rowsOfEveryTable(back), rows);
}

TEST_F(ServerImport, NullsEmptyTextsYesNoRealsBytesAndDatesOfASqliteFileSurviveTheServer) {
    const QString source = file(QStringLiteral("tipos.sqlite"));
    {
        auto db = engines::CreateDatabase(source);
        engines::TableDef def(QStringLiteral("Valores"));
        def.Append({QStringLiteral("texto"), engines::dbText, 5});
        def.Append({QStringLiteral("memo"), engines::dbText, 0});
        def.Append({QStringLiteral("si"), engines::dbBoolean, 0});
        def.Append({QStringLiteral("real"), engines::dbDouble, 0});
        def.Append({QStringLiteral("bytes"), engines::dbLongBinary, 0});
        def.Append({QStringLiteral("fecha"), engines::dbDate, 0});
        def.Append({QStringLiteral("corto"), engines::dbInteger, 0});
        db->AppendTableDef(def);
        const QDateTime moment(QDate(1999, 12, 31), QTime(23, 59, 58));
        db->InsertRow(QStringLiteral("Valores"), {{QStringLiteral("texto"), QStringLiteral("")},
                                                  {QStringLiteral("memo"), QVariant()},
                                                  {QStringLiteral("si"), 1},
                                                  {QStringLiteral("real"), 0.1},
                                                  {QStringLiteral("bytes"), QByteArray("\x00\x01\xff", 3)},
                                                  {QStringLiteral("fecha"), moment},
                                                  {QStringLiteral("corto"), -32768}});
        db->InsertRow(QStringLiteral("Valores"), {{QStringLiteral("texto"), QVariant()},
                                                  {QStringLiteral("memo"), QStringLiteral("")},
                                                  {QStringLiteral("si"), 0},
                                                  {QStringLiteral("real"), 1.0 / 3.0}});
        db->Close();
    }
    const QString server = m_cluster->freshDatabase();
    const QString back = file(QStringLiteral("vuelta.sqlite"));
    runImport(source, server, false);
    runImport(server, back, false);

    auto db = open(back);
    const std::vector<engines::FieldDef> fields = db->Fields(QStringLiteral("Valores"));
    ASSERT_EQ(fields.size(), 7u);
    EXPECT_EQ(fields[0].type, engines::dbText);
    EXPECT_EQ(fields[0].size, 5);
    EXPECT_EQ(fields[1].size, 0);
    EXPECT_EQ(fields[2].type, engines::dbBoolean);
    EXPECT_EQ(fields[3].type, engines::dbDouble);
    EXPECT_EQ(fields[4].type, engines::dbLongBinary);
    EXPECT_EQ(fields[5].type, engines::dbDate);
    EXPECT_EQ(fields[6].type, engines::dbInteger);
    std::vector<QString> names;
    for (const auto& f : fields) {
        names.push_back(f.name);
    }
    const auto rows = db->ReadRows(QStringLiteral("Valores"), names);
    db->Close();
    ASSERT_EQ(rows.size(), 2u);
    const auto& first = rows[0].values;
    EXPECT_FALSE(first[0].isNull());
    EXPECT_EQ(first[0].toString(), QString());
    EXPECT_TRUE(first[1].isNull());
    EXPECT_EQ(first[2].toLongLong(), 1);
    EXPECT_EQ(first[3].toDouble(), 0.1);
    EXPECT_EQ(first[4].toByteArray(), QByteArray("\x00\x01\xff", 3));
    EXPECT_EQ(first[5].toDateTime(), QDateTime(QDate(1999, 12, 31), QTime(23, 59, 58)));
    EXPECT_EQ(first[6].toLongLong(), -32768);
    const auto& second = rows[1].values;
    EXPECT_TRUE(second[0].isNull());
    EXPECT_FALSE(second[1].isNull());
    EXPECT_EQ(second[2].toLongLong(), 0);
    EXPECT_EQ(second[3].toDouble(), 1.0 / 3.0);
    EXPECT_TRUE(second[4].isNull());
    EXPECT_TRUE(second[5].isNull());
}

// On the server a text's size counts characters, and a stored date is a day and a time in no zone.
TEST_F(ServerImport, BigNumbersEmojiAndAnHourThatTheLocalZoneSkipsSurviveTheServer) {
    LocalZone madrid("Europe/Madrid");
    testing::TestDatabase source;
    fillOtherProgramsTable(source);
    const QString server = m_cluster->freshDatabase();
    const QString back = file(QStringLiteral("vuelta.sqlite"));
    runImport(source.path(), server, false);
    runImport(server, back, false);
    const QStringList values = typedValues(back, QStringLiteral("Valores"), kValueColumns);
    for (const QString& kept :
         {QStringLiteral("grande integer 9223372036854775807"), QStringLiteral("grande integer -4294967296"),
          QString::fromUtf8("corto text '\xF0\x9F\x98\x80\xF0\x9F\x98\x80'"),
          QStringLiteral("fecha text '2024-03-31 02:30:00'"), QStringLiteral("numero integer 12"),
          QStringLiteral("numero real 1.5")}) {
        EXPECT_TRUE(values.contains(kept))
            << kept.toStdString() << " in " << values.join(" | ").toStdString();
    }
}

// Two databases whose names differ only in case are two; one database named two ways is one.
TEST_F(ServerImport, ServerDatabasesAreToldApartAsTheServerTellsThem) {
    const QString mixta = m_cluster->freshDatabase();
    const QString dbname = QUrl(mixta).path().mid(1);
    const QString upper =
        QString(mixta).replace(QLatin1Char('/') + dbname, QLatin1Char('/') + dbname.toUpper());
    ASSERT_NE(upper, mixta);
    runImport(kNwind, mixta, false);
    const Result r = runImport(mixta, upper, false);
    EXPECT_EQ(r.tables.size(), 8u);
    EXPECT_EQ(rowCount(upper, QStringLiteral("Suppliers")), 29);

    // The same database, its user once in the authority and once as a parameter.
    const QUrl url(mixta);
    const QString folder = QUrlQuery(url).queryItemValue(QStringLiteral("host"), QUrl::FullyDecoded);
    const QString user = url.userName().isEmpty() ? QStringLiteral("postgres") : url.userName();
    const QString one = QStringLiteral("postgresql://%1@/%2?host=%3").arg(user, dbname, folder);
    const QString other = QStringLiteral("postgresql:///%1?host=%2&user=%3").arg(dbname, folder, user);
    EXPECT_TRUE(errorOf(one, other, true).contains(QStringLiteral("misma base de datos")));
}

// A name longer than the server keeps whole is refused saying the limit, and nothing is left.
TEST_F(ServerImport, ATableNameTooLongForTheServerIsRefusedSayingTheLimit) {
    const QString longName = QStringLiteral("PARCELAS_") + QString(60, QChar(u'\u00f1'));  // 129 bytes
    const QString source = file(QStringLiteral("largo.sqlite"));
    {
        auto db = engines::CreateDatabase(source);
        engines::TableDef def(longName);
        def.Append({QStringLiteral("mslink"), engines::dbLong, 0});
        db->AppendTableDef(def);
        db->Close();
    }
    const QString server = m_cluster->freshDatabase();
    const QString message = errorOf(source, server, false);
    EXPECT_TRUE(message.contains(QStringLiteral("63 bytes"))) << message.toStdString();
    EXPECT_FALSE(message.contains(QStringLiteral("No se encuentra"))) << message.toStdString();
    EXPECT_TRUE(tableNames(server).empty());
}

// A server database that the import created is gone again when the import fails.
TEST_F(ServerImport, AFailedImportLeavesNoNewServerDatabase) {
    testing::TestDatabase source;
    source.exec(QStringLiteral("CREATE TABLE \"Numeros\" (n INTEGER)"));
    source.exec(QStringLiteral("INSERT INTO \"Numeros\" VALUES (1), ('no es un número')"));
    const QString fresh = m_cluster->freshDatabase();
    const QString missing =
        QString(fresh).replace(QUrl(fresh).path(), QUrl(fresh).path() + QStringLiteral("_nueva"));
    EXPECT_FALSE(errorOf(source.path(), missing, false).isEmpty());
    try {
        open(missing);
        ADD_FAILURE() << "the failed import left the database " << missing.toStdString();
    } catch (const core::EngineError& e) {
        EXPECT_EQ(e.number(), core::errnum::kDatabaseNotFound) << e.description().toStdString();
    }
}

TEST_F(ServerImport, ExistingServerTablesAreReplacedOnlyWhenForcedAndAFailureLeavesEveryTableAsItWas) {
    const QString server = m_cluster->freshDatabase();
    {
        auto db = engines::CreateDatabase(file(QStringLiteral("una.sqlite")));
        engines::TableDef def(QStringLiteral("SUPPLIERS"));
        def.Append({QStringLiteral("nombre"), engines::dbText, 20});
        db->AppendTableDef(def);
        db->InsertRow(QStringLiteral("SUPPLIERS"), {{QStringLiteral("nombre"), QStringLiteral("el mío")}});
        db->Close();
    }
    runImport(file(QStringLiteral("una.sqlite")), server, false);

    // Suppliers is nwind's last table: every other one was written before the refusal, and is undone.
    const QString refused = errorOf(kNwind, server, false);
    EXPECT_TRUE(refused.contains(QStringLiteral("SUPPLIERS"))) << refused.toStdString();
    EXPECT_TRUE(refused.contains(QStringLiteral("--forzar"))) << refused.toStdString();
    EXPECT_EQ(tableNames(server), std::vector<QString>{QStringLiteral("SUPPLIERS")});
    EXPECT_EQ(rowCount(server, QStringLiteral("SUPPLIERS")), 1);

    runImport(kNwind, server, true);
    EXPECT_EQ(tableNames(server).size(), 8u);
    EXPECT_EQ(rowCount(server, QStringLiteral("Suppliers")), 29);
    // Forced again: replaced, not added to.
    runImport(kNwind, server, true);
    EXPECT_EQ(rowCount(server, QStringLiteral("Order Details")), 2155);
}

TEST_F(ServerImport, ASourceThatIsTheDestinationOrAnAccessDestinationIsRefused) {
    const QString server = m_cluster->freshDatabase();
    EXPECT_TRUE(errorOf(server, server, true).contains(QStringLiteral("misma base de datos")));
    const QString sqlite = file(QStringLiteral("a.sqlite"));
    runImport(kNwind, sqlite, false);
    EXPECT_TRUE(errorOf(sqlite, sqlite, true).contains(QStringLiteral("mismo fichero")));
    EXPECT_TRUE(errorOf(sqlite, kNwind, true).contains(QStringLiteral("base de datos Access")));
    EXPECT_TRUE(
        errorOf(file(QStringLiteral("no-hay.sqlite")), sqlite, true).contains(QStringLiteral("No existe")));
}

// The command line: exit status, messages without the password, the demo on the server.
class ServerCli : public ServerImport {
  protected:
    // The URI of a fresh database for the user who must give a password, with the password in it.
    QString withPassword() {
        QString uri = m_cluster->freshDatabase();
        return uri.replace(
            QStringLiteral("postgresql://postgres@"),
            QStringLiteral("postgresql://%1:%2@").arg(PgCluster::passwordUser(), PgCluster::passwordOf()));
    }
};

TEST_F(ServerCli, ImportShowsTheServerWithoutItsPasswordAndRefusesExistingTablesWithStatus1) {
    const QString server = withPassword();
    const auto done = testing::runCli({QStringLiteral("importar"), kNwind, server});
    ASSERT_EQ(done.state, 0) << done.errors.toStdString();
    EXPECT_TRUE(done.output.contains(QStringLiteral("Importadas 8 tablas en postgresql://")));
    EXPECT_TRUE(done.output.contains(QStringLiteral("Order Details : 2155 filas")));
    const auto again = testing::runCli({QStringLiteral("importar"), kNwind, server});
    EXPECT_EQ(again.state, 1);
    EXPECT_TRUE(again.errors.contains(QStringLiteral("--forzar"))) << again.errors.toStdString();
    for (const auto& out : {done.output, done.errors, again.output, again.errors}) {
        EXPECT_FALSE(out.contains(PgCluster::passwordOf())) << out.toStdString();
    }
    EXPECT_EQ(testing::runCli({QStringLiteral("importar"), kNwind}).state, 2);
}

TEST_F(ServerCli, DemoOnTheServerWritesTheSampleDatabaseAndTheJobRunsOnIt) {
    const QString server = m_cluster->freshDatabase();
    const QString onServer = file(QStringLiteral("servidor"));
    const QString onFile = file(QStringLiteral("fichero"));
    const auto demo = testing::runCli({QStringLiteral("demo"), onServer, QStringLiteral("--bdd"), server,
                                       QStringLiteral("--semilla"), QStringLiteral("7")});
    ASSERT_EQ(demo.state, 0) << demo.errors.toStdString();
    ASSERT_EQ(
        testing::runCli({QStringLiteral("demo"), onFile, QStringLiteral("--semilla"), QStringLiteral("7")})
            .state,
        0);
    const QString copy = file(QStringLiteral("copia.sqlite"));
    runImport(server, copy, false);
    EXPECT_EQ(testing::rowsOfEveryTable(copy),
              testing::rowsOfEveryTable(onFile + QStringLiteral("/muestra.sqlite")));

    // A database that already holds tables is never written over by the sample.
    const auto refused = testing::runCli({QStringLiteral("demo"), onServer, QStringLiteral("--bdd"), server});
    EXPECT_EQ(refused.state, 1);
    EXPECT_TRUE(refused.errors.contains(QStringLiteral("ya tiene tablas"))) << refused.errors.toStdString();

    const auto onPg =
        testing::runCli({QStringLiteral("procesar"), QStringLiteral("--bdd"), server, QStringLiteral("--bin"),
                         onServer + QStringLiteral("/muestra.bin"), QStringLiteral("-q")});
    ASSERT_EQ(onPg.state, 0) << onPg.errors.toStdString();
    const auto onSqlite = testing::runCli(
        {QStringLiteral("procesar"), QStringLiteral("--bdd"), onFile + QStringLiteral("/muestra.sqlite"),
         QStringLiteral("--bin"), onFile + QStringLiteral("/muestra.bin"), QStringLiteral("-q")});
    ASSERT_EQ(onSqlite.state, 0) << onSqlite.errors.toStdString();
    QFile a(onServer + QStringLiteral("/muestra_s.bin"));
    QFile b(onFile + QStringLiteral("/muestra_s.bin"));
    ASSERT_TRUE(a.open(QIODevice::ReadOnly));
    ASSERT_TRUE(b.open(QIODevice::ReadOnly));
    EXPECT_EQ(a.readAll(), b.readAll());
    // And the same rows, the log's included (its drawing paths named by their folder).
    EXPECT_EQ(testing::rowsOfEveryTable(server, onServer),
              testing::rowsOfEveryTable(onFile + QStringLiteral("/muestra.sqlite"), onFile));
}

}  // namespace
}  // namespace vexilo::importer
