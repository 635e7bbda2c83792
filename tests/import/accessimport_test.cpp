// The Access importer on a real Access 97 file (read-only, shared test data) and on files that are not
// Access databases.
#include "import/accessimport.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QUuid>
#include <map>

#include "engines/dao.h"

namespace vexilo::importer {
namespace {

const QString kNwind = QStringLiteral(VEXILO_TESTDATA "/nwind.mdb");

// Reads the imported SQLite file with plain SQL, independently of the engine layer.
class Sqlite {
  public:
    explicit Sqlite(const QString& path) : m_name(QUuid::createUuid().toString()) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(path);
        EXPECT_TRUE(db.open());
    }
    ~Sqlite() {
        QSqlDatabase::database(m_name, false).close();
        QSqlDatabase::removeDatabase(m_name);
    }
    std::vector<QVariantList> rows(const QString& sql) {
        QSqlQuery q(QSqlDatabase::database(m_name, false));
        EXPECT_TRUE(q.exec(sql)) << sql.toStdString();
        std::vector<QVariantList> v;
        while (q.next()) {
            QVariantList row;
            for (int i = 0; i < q.record().count(); ++i) {
                row << q.value(i);
            }
            v.push_back(row);
        }
        return v;
    }
    QVariant valor(const QString& sql) {
        auto f = rows(sql);
        return f.empty() ? QVariant() : f.front().value(0);
    }

    const QString& name() const { return m_name; }

  private:
    QString m_name;
};

// One import of the sample file shared by the checks on its content.
class Nwind : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        s_dir = new QTemporaryDir;
        s_destination = s_dir->filePath(QStringLiteral("nwind.sqlite"));
        s_result = new Result(importAccess(kNwind, s_destination, false));
    }
    static void TearDownTestSuite() {
        delete s_result;
        delete s_dir;
    }
    static QTemporaryDir* s_dir;
    static QString s_destination;
    static Result* s_result;
};
QTemporaryDir* Nwind::s_dir = nullptr;
QString Nwind::s_destination;
Result* Nwind::s_result = nullptr;

TEST_F(Nwind, EveryUserTableIsImportedWithTheRowCountTheFileDeclares) {
    const std::map<QString, std::int64_t> expected{
        {"Order Details", 2155}, {"Orders", 830},   {"Products", 77}, {"Shippers", 3},
        {"Categories", 8},       {"Customers", 91}, {"Employees", 9}, {"Suppliers", 29}};
    std::map<QString, std::int64_t> reported;
    for (const auto& t : s_result->tables) {
        reported[t.name] = t.rows;
    }
    EXPECT_EQ(reported, expected);
    Sqlite db(s_destination);
    for (const auto& [table, rows] : expected) {
        EXPECT_EQ(db.valor(QStringLiteral("SELECT count(*) FROM \"%1\"").arg(table)).toLongLong(), rows)
            << table.toStdString();
    }
    // No system table (MSys...) is copied.
    EXPECT_EQ(db.valor(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE name LIKE 'MSys%'")).toInt(),
              0);
}

TEST_F(Nwind, ColumnKindsAndTextSizesAreKept) {
    Sqlite db(s_destination);
    auto kinds = [&db](const QString& table) {
        std::map<QString, QString> m;
        for (const auto& f : db.rows(QStringLiteral("PRAGMA table_info(\"%1\")").arg(table))) {
            m[f.value(1).toString()] = f.value(2).toString();
        }
        return m;
    };
    auto products = kinds(QStringLiteral("Products"));
    EXPECT_EQ(products["ProductID"], "INTEGER");
    EXPECT_EQ(products["ProductName"], "VARCHAR(40)");
    EXPECT_EQ(products["UnitPrice"], "REAL");  // currency
    EXPECT_EQ(products["UnitsInStock"], "SMALLINT");
    EXPECT_EQ(products["Discontinued"], "BOOLEAN");
    auto employees = kinds(QStringLiteral("Employees"));
    EXPECT_EQ(employees["BirthDate"], "DATETIME");
    EXPECT_EQ(employees["Notes"], "TEXT");  // memo
    EXPECT_EQ(employees["Photo"], "BLOB");  // OLE
    EXPECT_EQ(employees["Extension"], "VARCHAR(4)");
    EXPECT_EQ(kinds(QStringLiteral("Order Details"))["Discount"], "REAL");  // single

    // The sizes bind as they do in Access: a longer text or a wider number is refused.
    QSqlDatabase::database(db.name()).transaction();
    QSqlQuery q(QSqlDatabase::database(db.name()));
    EXPECT_FALSE(q.exec(QStringLiteral("UPDATE Customers SET CustomerID='ABCDEF' WHERE CustomerID='BOLID'")));
    EXPECT_FALSE(q.exec(QStringLiteral("UPDATE Products SET UnitsInStock=40000 WHERE ProductID=1")));
    EXPECT_TRUE(q.exec(QStringLiteral("UPDATE Customers SET CustomerID='ABCDE' WHERE CustomerID='BOLID'")));
    QSqlDatabase::database(db.name()).rollback();
}

TEST_F(Nwind, ValuesNullsDatesAndAccentedTextsReadBackAsInTheFile) {
    Sqlite db(s_destination);
    auto row =
        db.rows(QStringLiteral("SELECT CompanyName, ContactName, Region, Fax FROM Customers "
                               "WHERE CustomerID='BOLID'"));
    ASSERT_EQ(row.size(), 1u);
    EXPECT_EQ(row[0][0].toString(), QStringLiteral("Bólido Comidas preparadas"));
    EXPECT_EQ(row[0][1].toString(), QStringLiteral("Martín Sommer"));
    EXPECT_TRUE(row[0][2].isNull());
    EXPECT_EQ(row[0][3].toString(), QStringLiteral("(91) 555 91 99"));
    EXPECT_EQ(
        db.valor(QStringLiteral("SELECT CompanyName FROM Customers WHERE CustomerID='KOENE'")).toString(),
        QStringLiteral("Königlich Essen"));
    EXPECT_TRUE(db.valor(QStringLiteral("SELECT Fax FROM Customers WHERE CustomerID='KOENE'")).isNull());
    EXPECT_EQ(db.valor(QStringLiteral("SELECT count(*) FROM Customers WHERE Region IS NULL")).toInt(), 60);
    EXPECT_EQ(db.valor(QStringLiteral("SELECT count(*) FROM Orders WHERE ShippedDate IS NULL")).toInt(), 21);
    EXPECT_EQ(db.valor(QStringLiteral("SELECT count(*) FROM Employees WHERE ReportsTo IS NULL")).toInt(), 1);

    // Dates in the form the engine layer stores them.
    EXPECT_EQ(db.valor(QStringLiteral("SELECT BirthDate FROM Employees WHERE EmployeeID=4")).toString(),
              QStringLiteral("1937-09-19 00:00:00"));
    EXPECT_EQ(db.valor(QStringLiteral("SELECT OrderDate FROM Orders WHERE OrderID=10248")).toString(),
              QStringLiteral("1994-08-04 00:00:00"));

    EXPECT_DOUBLE_EQ(db.valor(QStringLiteral("SELECT UnitPrice FROM Products WHERE ProductID=5")).toDouble(),
                     21.35);
    EXPECT_EQ(db.valor(QStringLiteral("SELECT sum(Discontinued) FROM Products")).toInt(), 8);
    EXPECT_EQ(db.valor(QStringLiteral("SELECT Discontinued FROM Products WHERE ProductID=5")).toInt(), 1);
    EXPECT_EQ(db.valor(QStringLiteral("SELECT Discontinued FROM Products WHERE ProductID=1")).toInt(), 0);
}

TEST_F(Nwind, MemosAndPicturesAreWholeAndRowsKeepTheFileOrder) {
    Sqlite db(s_destination);
    const QString notes =
        db.valor(QStringLiteral("SELECT Notes FROM Employees WHERE EmployeeID=2")).toString();
    EXPECT_EQ(notes.size(), 448);
    EXPECT_TRUE(notes.endsWith(QStringLiteral("the Pacific Rim Importers Association.")))
        << notes.toStdString();
    // A line break inside a text stays as the file holds it.
    EXPECT_EQ(db.valor(QStringLiteral("SELECT Address FROM Employees WHERE EmployeeID=1")).toString(),
              QStringLiteral("507 - 20th Ave. E.\r\nApt. 2A"));
    const QByteArray snapshot =
        db.valor(QStringLiteral("SELECT Photo FROM Employees WHERE EmployeeID=1")).toByteArray();
    EXPECT_EQ(snapshot.size(), 21626);

    auto first = db.rows(QStringLiteral("SELECT OrderID, ProductID FROM \"Order Details\" LIMIT 3"));
    ASSERT_EQ(first.size(), 3u);
    EXPECT_EQ(first[0][0].toInt(), 10248);
    EXPECT_EQ(first[0][1].toInt(), 11);
    EXPECT_EQ(first[1][1].toInt(), 42);
    EXPECT_EQ(first[2][1].toInt(), 72);
}

TEST_F(Nwind, TheEngineLayerOpensTheImportedDatabaseAndReadsItsTables) {
    auto bd = engines::DBEngine::instance().Workspaces(0).OpenDatabase(s_destination);
    EXPECT_EQ(bd->TableDefsCount(), 8);
    auto rs = bd->OpenRecordset(engines::Query::all(QStringLiteral("shippers")), engines::dbOpenSnapshot);
    ASSERT_GE(rs->RecordCount(), 1);
    rs->MoveFirst();
    EXPECT_EQ(rs->Value(QStringLiteral("companyname")).toString(), QStringLiteral("Speedy Express"));
    rs->Close();
    bd->Close();
}

TEST(AccessDate, DaysCountFromThe30thOfDecember1899AndTheFractionIsTheTimeOfDay) {
    EXPECT_EQ(accessDate(0.0), QDateTime(QDate(1899, 12, 30), QTime(0, 0)));
    EXPECT_EQ(accessDate(1.5), QDateTime(QDate(1899, 12, 31), QTime(12, 0)));
    EXPECT_EQ(accessDate(36526.75), QDateTime(QDate(2000, 1, 1), QTime(18, 0)));
    // Before the epoch the day is negative and the fraction still counts forward from midnight.
    EXPECT_EQ(accessDate(-1.25), QDateTime(QDate(1899, 12, 29), QTime(6, 0)));
    EXPECT_EQ(accessDate(-36522.0), QDateTime(QDate(1800, 1, 1), QTime(0, 0)));
    EXPECT_EQ(accessDate(-0.5), QDateTime(QDate(1899, 12, 30), QTime(12, 0)));
    // A fraction that rounds to a whole day is midnight of the next day.
    EXPECT_EQ(accessDate(2.9999999999), QDateTime(QDate(1900, 1, 2), QTime(0, 0)));
}

class Refusals : public ::testing::Test {
  protected:
    QString path(const char* name) const { return m_dir.filePath(QString::fromUtf8(name)); }
    void write(const QString& path, const QByteArray& data) const {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(data);
    }
    QByteArray read(const QString& path) const {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QTemporaryDir m_dir;
};

TEST_F(Refusals, AnExistingDestinationIsKeptUnlessForced) {
    const QString destination = path("existente.sqlite");
    write(destination, "no tocar");
    try {
        importAccess(kNwind, destination, false);
        FAIL() << "an existing destination was overwritten";
    } catch (const ImportError& e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("--forzar"))) << e.what();
    }
    EXPECT_EQ(read(destination), QByteArray("no tocar"));

    Result r = importAccess(kNwind, destination, true);
    EXPECT_EQ(r.tables.size(), 8u);
    EXPECT_EQ(Sqlite(destination).valor(QStringLiteral("SELECT count(*) FROM Shippers")).toInt(), 3);
    EXPECT_FALSE(QFile::exists(destination + QStringLiteral(".importando")));
}

TEST_F(Refusals, AFileThatIsNotAnAccessDatabaseIsRefusedWhateverItsName) {
    const QString fake = path("falso.mdb");
    write(fake, QByteArray("\0\1\0\0Standard Xyz DB", 19) + QByteArray(4096, 'x'));
    const QString destination = path("falso.sqlite");
    try {
        importAccess(fake, destination, false);
        FAIL() << "a file that is not an Access database was imported";
    } catch (const ImportError& e) {
        EXPECT_TRUE(e.message().startsWith(QStringLiteral("El fichero no es una base de datos Access")))
            << e.what();
    }
    EXPECT_FALSE(QFile::exists(destination));
    EXPECT_FALSE(isAccessDatabase(fake));

    // The signature decides, not the name.
    const QString withOtherName = path("datos.txt");
    ASSERT_TRUE(QFile::copy(kNwind, withOtherName));
    EXPECT_TRUE(isAccessDatabase(withOtherName));
    write(path("ace.bin"), QByteArray("\0\1\0\0Standard ACE DB\0", 20));
    EXPECT_TRUE(isAccessDatabase(path("ace.bin")));
    write(path("corto.mdb"), QByteArray("\0\1\0\0Standard Jet", 16));
    EXPECT_FALSE(isAccessDatabase(path("corto.mdb")));

    EXPECT_THROW(importAccess(path("no-existe.mdb"), path("x.sqlite"), false), ImportError);
    EXPECT_FALSE(QFile::exists(path("x.sqlite")));
}

}  // namespace
}  // namespace vexilo::importer
