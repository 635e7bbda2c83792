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

#include "platform/dao.h"

namespace vexilo::importacion {
namespace {

const QString kNwind = QStringLiteral(VEXILO_TESTDATA "/nwind.mdb");

// Reads the imported SQLite file with plain SQL, independently of the engine layer.
class Sqlite {
  public:
    explicit Sqlite(const QString& ruta) : m_nombre(QUuid::createUuid().toString()) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_nombre);
        db.setDatabaseName(ruta);
        EXPECT_TRUE(db.open());
    }
    ~Sqlite() {
        QSqlDatabase::database(m_nombre, false).close();
        QSqlDatabase::removeDatabase(m_nombre);
    }
    std::vector<QVariantList> filas(const QString& sql) {
        QSqlQuery q(QSqlDatabase::database(m_nombre, false));
        EXPECT_TRUE(q.exec(sql)) << sql.toStdString();
        std::vector<QVariantList> v;
        while (q.next()) {
            QVariantList fila;
            for (int i = 0; i < q.record().count(); ++i) {
                fila << q.value(i);
            }
            v.push_back(fila);
        }
        return v;
    }
    QVariant valor(const QString& sql) {
        auto f = filas(sql);
        return f.empty() ? QVariant() : f.front().value(0);
    }

    const QString& nombre() const { return m_nombre; }

  private:
    QString m_nombre;
};

// One import of the sample file shared by the checks on its content.
class Nwind : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        s_dir = new QTemporaryDir;
        s_destino = s_dir->filePath(QStringLiteral("nwind.sqlite"));
        s_resultado = new Resultado(importaAccess(kNwind, s_destino, false));
    }
    static void TearDownTestSuite() {
        delete s_resultado;
        delete s_dir;
    }
    static QTemporaryDir* s_dir;
    static QString s_destino;
    static Resultado* s_resultado;
};
QTemporaryDir* Nwind::s_dir = nullptr;
QString Nwind::s_destino;
Resultado* Nwind::s_resultado = nullptr;

TEST_F(Nwind, EveryUserTableIsImportedWithTheRowCountTheFileDeclares) {
    const std::map<QString, std::int64_t> esperado{
        {"Order Details", 2155}, {"Orders", 830},   {"Products", 77}, {"Shippers", 3},
        {"Categories", 8},       {"Customers", 91}, {"Employees", 9}, {"Suppliers", 29}};
    std::map<QString, std::int64_t> informado;
    for (const auto& t : s_resultado->tablas) {
        informado[t.nombre] = t.filas;
    }
    EXPECT_EQ(informado, esperado);
    Sqlite db(s_destino);
    for (const auto& [tabla, filas] : esperado) {
        EXPECT_EQ(db.valor(QStringLiteral("SELECT count(*) FROM \"%1\"").arg(tabla)).toLongLong(), filas)
            << tabla.toStdString();
    }
    // No system table (MSys...) is copied.
    EXPECT_EQ(db.valor(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE name LIKE 'MSys%'")).toInt(),
              0);
}

TEST_F(Nwind, ColumnKindsAndTextSizesAreKept) {
    Sqlite db(s_destino);
    auto tipos = [&db](const QString& tabla) {
        std::map<QString, QString> m;
        for (const auto& f : db.filas(QStringLiteral("PRAGMA table_info(\"%1\")").arg(tabla))) {
            m[f.value(1).toString()] = f.value(2).toString();
        }
        return m;
    };
    auto productos = tipos(QStringLiteral("Products"));
    EXPECT_EQ(productos["ProductID"], "INTEGER");
    EXPECT_EQ(productos["ProductName"], "VARCHAR(40)");
    EXPECT_EQ(productos["UnitPrice"], "REAL");  // currency
    EXPECT_EQ(productos["UnitsInStock"], "SMALLINT");
    EXPECT_EQ(productos["Discontinued"], "BOOLEAN");
    auto empleados = tipos(QStringLiteral("Employees"));
    EXPECT_EQ(empleados["BirthDate"], "DATETIME");
    EXPECT_EQ(empleados["Notes"], "TEXT");  // memo
    EXPECT_EQ(empleados["Photo"], "BLOB");  // OLE
    EXPECT_EQ(empleados["Extension"], "VARCHAR(4)");
    EXPECT_EQ(tipos(QStringLiteral("Order Details"))["Discount"], "REAL");  // single

    // The sizes bind as they do in Access: a longer text or a wider number is refused.
    QSqlDatabase::database(db.nombre()).transaction();
    QSqlQuery q(QSqlDatabase::database(db.nombre()));
    EXPECT_FALSE(q.exec(QStringLiteral("UPDATE Customers SET CustomerID='ABCDEF' WHERE CustomerID='BOLID'")));
    EXPECT_FALSE(q.exec(QStringLiteral("UPDATE Products SET UnitsInStock=40000 WHERE ProductID=1")));
    EXPECT_TRUE(q.exec(QStringLiteral("UPDATE Customers SET CustomerID='ABCDE' WHERE CustomerID='BOLID'")));
    QSqlDatabase::database(db.nombre()).rollback();
}

TEST_F(Nwind, ValuesNullsDatesAndAccentedTextsReadBackAsInTheFile) {
    Sqlite db(s_destino);
    auto fila =
        db.filas(QStringLiteral("SELECT CompanyName, ContactName, Region, Fax FROM Customers "
                                "WHERE CustomerID='BOLID'"));
    ASSERT_EQ(fila.size(), 1u);
    EXPECT_EQ(fila[0][0].toString(), QStringLiteral("Bólido Comidas preparadas"));
    EXPECT_EQ(fila[0][1].toString(), QStringLiteral("Martín Sommer"));
    EXPECT_TRUE(fila[0][2].isNull());
    EXPECT_EQ(fila[0][3].toString(), QStringLiteral("(91) 555 91 99"));
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
    Sqlite db(s_destino);
    const QString notas =
        db.valor(QStringLiteral("SELECT Notes FROM Employees WHERE EmployeeID=2")).toString();
    EXPECT_EQ(notas.size(), 448);
    EXPECT_TRUE(notas.endsWith(QStringLiteral("the Pacific Rim Importers Association.")))
        << notas.toStdString();
    // A line break inside a text stays as the file holds it.
    EXPECT_EQ(db.valor(QStringLiteral("SELECT Address FROM Employees WHERE EmployeeID=1")).toString(),
              QStringLiteral("507 - 20th Ave. E.\r\nApt. 2A"));
    const QByteArray foto =
        db.valor(QStringLiteral("SELECT Photo FROM Employees WHERE EmployeeID=1")).toByteArray();
    EXPECT_EQ(foto.size(), 21626);

    auto primeras = db.filas(QStringLiteral("SELECT OrderID, ProductID FROM \"Order Details\" LIMIT 3"));
    ASSERT_EQ(primeras.size(), 3u);
    EXPECT_EQ(primeras[0][0].toInt(), 10248);
    EXPECT_EQ(primeras[0][1].toInt(), 11);
    EXPECT_EQ(primeras[1][1].toInt(), 42);
    EXPECT_EQ(primeras[2][1].toInt(), 72);
}

TEST_F(Nwind, TheEngineLayerOpensTheImportedDatabaseAndReadsItsTables) {
    auto bd = platform::DBEngine::instance().Workspaces(0).OpenDatabase(s_destino);
    EXPECT_EQ(bd->TableDefsCount(), 8);
    auto rs = bd->OpenRecordset(platform::Query::all(QStringLiteral("shippers")), platform::dbOpenSnapshot);
    ASSERT_GE(rs->RecordCount(), 1);
    rs->MoveFirst();
    EXPECT_EQ(rs->Value(QStringLiteral("companyname")).toString(), QStringLiteral("Speedy Express"));
    rs->Close();
    bd->Close();
}

TEST(FechaAccess, DaysCountFromThe30thOfDecember1899AndTheFractionIsTheTimeOfDay) {
    EXPECT_EQ(fechaAccess(0.0), QDateTime(QDate(1899, 12, 30), QTime(0, 0)));
    EXPECT_EQ(fechaAccess(1.5), QDateTime(QDate(1899, 12, 31), QTime(12, 0)));
    EXPECT_EQ(fechaAccess(36526.75), QDateTime(QDate(2000, 1, 1), QTime(18, 0)));
    // Before the epoch the day is negative and the fraction still counts forward from midnight.
    EXPECT_EQ(fechaAccess(-1.25), QDateTime(QDate(1899, 12, 29), QTime(6, 0)));
    EXPECT_EQ(fechaAccess(-36522.0), QDateTime(QDate(1800, 1, 1), QTime(0, 0)));
    EXPECT_EQ(fechaAccess(-0.5), QDateTime(QDate(1899, 12, 30), QTime(12, 0)));
    // A fraction that rounds to a whole day is midnight of the next day.
    EXPECT_EQ(fechaAccess(2.9999999999), QDateTime(QDate(1900, 1, 2), QTime(0, 0)));
}

class Rechazos : public ::testing::Test {
  protected:
    QString ruta(const char* nombre) const { return m_dir.filePath(QString::fromUtf8(nombre)); }
    void escribe(const QString& ruta, const QByteArray& datos) const {
        QFile f(ruta);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(datos);
    }
    QByteArray lee(const QString& ruta) const {
        QFile f(ruta);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QTemporaryDir m_dir;
};

TEST_F(Rechazos, AnExistingDestinationIsKeptUnlessForced) {
    const QString destino = ruta("existente.sqlite");
    escribe(destino, "no tocar");
    try {
        importaAccess(kNwind, destino, false);
        FAIL() << "an existing destination was overwritten";
    } catch (const ErrorImportacion& e) {
        EXPECT_TRUE(e.mensaje().contains(QStringLiteral("--forzar"))) << e.what();
    }
    EXPECT_EQ(lee(destino), QByteArray("no tocar"));

    Resultado r = importaAccess(kNwind, destino, true);
    EXPECT_EQ(r.tablas.size(), 8u);
    EXPECT_EQ(Sqlite(destino).valor(QStringLiteral("SELECT count(*) FROM Shippers")).toInt(), 3);
    EXPECT_FALSE(QFile::exists(destino + QStringLiteral(".importando")));
}

TEST_F(Rechazos, AFileThatIsNotAnAccessDatabaseIsRefusedWhateverItsName) {
    const QString falso = ruta("falso.mdb");
    escribe(falso, QByteArray("\0\1\0\0Standard Xyz DB", 19) + QByteArray(4096, 'x'));
    const QString destino = ruta("falso.sqlite");
    try {
        importaAccess(falso, destino, false);
        FAIL() << "a file that is not an Access database was imported";
    } catch (const ErrorImportacion& e) {
        EXPECT_TRUE(e.mensaje().startsWith(QStringLiteral("El fichero no es una base de datos Access")))
            << e.what();
    }
    EXPECT_FALSE(QFile::exists(destino));
    EXPECT_FALSE(esBaseDeDatosAccess(falso));

    // The signature decides, not the name.
    const QString conOtroNombre = ruta("datos.txt");
    ASSERT_TRUE(QFile::copy(kNwind, conOtroNombre));
    EXPECT_TRUE(esBaseDeDatosAccess(conOtroNombre));
    escribe(ruta("ace.bin"), QByteArray("\0\1\0\0Standard ACE DB\0", 20));
    EXPECT_TRUE(esBaseDeDatosAccess(ruta("ace.bin")));
    escribe(ruta("corto.mdb"), QByteArray("\0\1\0\0Standard Jet", 16));
    EXPECT_FALSE(esBaseDeDatosAccess(ruta("corto.mdb")));

    EXPECT_THROW(importaAccess(ruta("no-existe.mdb"), ruta("x.sqlite"), false), ErrorImportacion);
    EXPECT_FALSE(QFile::exists(ruta("x.sqlite")));
}

}  // namespace
}  // namespace vexilo::importacion
