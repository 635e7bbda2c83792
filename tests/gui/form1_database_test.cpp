// The database box takes a typed name: a file path as the dialog would give it, or a server URI whose
// password serves the run and is never shown nor remembered.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QUrl>
#include <chrono>
#include <functional>
#include <memory>
#include <utility>

#include "app/modulo_config.h"
#include "engines/dao.h"
#include "engines/databasename.h"
#include "gui/form1.h"
#include "support/catalogfixture.h"
#include "support/elementbuilder.h"
#include "support/pgcluster.h"
#include "support/testservices.h"

namespace vexilo::gui {
namespace {

using testing::ElementBuilder;
using testing::PgCluster;

const QString kSecret = QStringLiteral("s3cr3t-Pw");

class Form1Database : public ::testing::Test {
  protected:
    Form1Database() {
        testing::createCatalogDatabase(path("particular.sqlite"));
        testing::writeFile(path("mapa.bin"), testing::concat({ElementBuilder::c().records(1),
                                                              ElementBuilder::t().texto("PLAZA").seed(5)}));
    }

    QString path(const char* name) const { return m_dir.filePath(QString::fromUtf8(name)); }
    static QLineEdit* box(Form1& form) { return form.findChild<QLineEdit*>(QStringLiteral("Text2")); }
    static QString label5(Form1& form) { return form.findChild<QLabel*>(QStringLiteral("Label5"))->text(); }
    static void click(Form1& form, const char* name) {
        form.findChild<QPushButton*>(QString::fromUtf8(name))->click();
    }
    // Types into the box as the user does, replacing what it held.
    static void type(Form1& form, const QString& text) {
        box(form)->selectAll();
        box(form)->insert(text);
    }
    // Types, then ends the edit with Return; the window takes the name once the key is handled.
    static void typeAndEnter(Form1& form, const QString& text) {
        type(form, text);
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QCoreApplication::sendEvent(box(form), &press);
        QCoreApplication::processEvents();
    }
    void choose(Form1& form, const char* button, const QString& file) {
        m_services.nextFile(file);
        click(form, button);
    }
    static QString stored(const char* clave) {
        QString valor;
        app::LeeConfiguracion(QString::fromUtf8(clave), valor);
        return valor;
    }
    std::string messages() const {
        QString all;
        for (const auto& m : m_services.messages) {
            all += m.text + QLatin1Char('\n');
        }
        return all.toStdString();
    }
    QString settingsText() const {
        QFile file(m_services.settingsFile());
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    QTemporaryDir m_dir;
    testing::TestServices m_services;
    desktop::ScopedServices m_installed{m_services};
};

TEST_F(Form1Database, ATypedPathIsTakenAsTheDialogGivesItAndRuns) {
    Form1 form;
    form.show();
    choose(form, "Command3", path("mapa.bin"));
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(m_dir.path()));
    typeAndEnter(form, QStringLiteral(" particular.sqlite "));
    QDir::setCurrent(previous);
    EXPECT_EQ(form.state().NombreBdD, path("particular.sqlite"));
    EXPECT_EQ(form.state().DirectorioBdD, m_dir.path() + QLatin1Char('/'));
    EXPECT_EQ(box(form)->text(), path("particular.sqlite"));

    click(form, "Command1");
    EXPECT_TRUE(m_services.messages.empty());
    EXPECT_FALSE(m_services.exitCode);
    EXPECT_EQ(label5(form), QStringLiteral("Creado el fichero : ") + QChar(13) + path("mapa_s.bin"));

    // A new database, typed, clears the status area as one chosen in the dialog does.
    testing::createCatalogDatabase(path("otra.sqlite"));
    typeAndEnter(form, path("otra.sqlite"));
    EXPECT_EQ(form.state().NombreBdD, path("otra.sqlite"));
    EXPECT_EQ(label5(form), QString());
    EXPECT_FALSE(form.findChild<QLabel*>(QStringLiteral("Label1"))->isVisible());
}

TEST_F(Form1Database, ARefusedNameChangesNothingSaysWhyAndStopsTheRun) {
    struct Case {
        QString typed;
        QString inBox;  // what the box holds afterwards, to be corrected
        const char* why;
    };
    const std::vector<Case> cases = {
        {path("no-existe.sqlite"), path("no-existe.sqlite"), "No existe el fichero de base de datos"},
        {m_dir.path(), m_dir.path(), "es una carpeta"},
        {QStringLiteral("postgresql://ana:%1@srv/mapas?x").arg(kSecret),
         QStringLiteral("postgresql://ana@srv/mapas?x"), "no se puede leer"},
    };
    Form1 form;
    form.show();
    choose(form, "Command2", path("particular.sqlite"));
    choose(form, "Command3", path("mapa.bin"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        m_services.messages.clear();
        typeAndEnter(form, c.typed);
        EXPECT_EQ(form.state().NombreBdD, path("particular.sqlite"));
        EXPECT_EQ(box(form)->text(), c.inBox);
        ASSERT_EQ(m_services.messages.size(), 1u);
        EXPECT_TRUE(m_services.messages[0].text.contains(QString::fromUtf8(c.why)))
            << m_services.messages[0].text.toStdString();
        EXPECT_FALSE(m_services.messages[0].text.contains(kSecret));

        // "Procesar" does not run on another database than the box shows: it says why again.
        click(form, "Command1");
        EXPECT_EQ(m_services.messages.size(), 2u);
        EXPECT_TRUE(m_services.pointers.empty());
        EXPECT_FALSE(QFile::exists(path("mapa_s.bin")));
    }
    EXPECT_FALSE(m_services.exitCode);
}

// On the test server: one user must give a password (PgCluster::passwordUser()).
class Form1DatabaseOnServer : public Form1Database {
  protected:
    Form1DatabaseOnServer() {
        m_cluster = PgCluster::instance();
        if (m_cluster) {
            const QString dbname = QStringLiteral("ventana_%1").arg(++s_databases);
            testing::createCatalogDatabase(m_cluster->uri(dbname));
            m_withPassword =
                address(PgCluster::passwordUser() + QLatin1Char(':') + PgCluster::passwordOf(), dbname);
        }
    }
    ~Form1DatabaseOnServer() override { qunsetenv("PGPASSFILE"); }
    QString address(const QString& userInfo, const QString& dbname) const {
        return QStringLiteral("postgresql://%1@/%2?host=%3")
            .arg(userInfo, dbname, QString::fromUtf8(QUrl::toPercentEncoding(m_cluster->socketFolder())));
    }
    bool runs(Form1& form) {
        QFile::remove(path("mapa_s.bin"));
        choose(form, "Command3", path("mapa.bin"));
        click(form, "Command1");
        return QFile::exists(path("mapa_s.bin")) && !m_services.exitCode;
    }

    PgCluster* m_cluster = nullptr;
    QString m_withPassword;
    static inline int s_databases = 0;
};

TEST_F(Form1DatabaseOnServer, ATypedUriServesWholeButIsShownAndRememberedWithoutItsPassword) {
    ASSERT_NE(m_cluster, nullptr);
    const QString uri = m_withPassword;
    const QString shown = engines::shownDatabaseName(uri);
    ASSERT_FALSE(shown.contains(PgCluster::passwordOf()));
    const QString folder = m_dir.path() + QLatin1Char('/');
    {
        Form1 form;
        form.show();
        choose(form, "Command2", path("particular.sqlite"));
        typeAndEnter(form, QStringLiteral("  ") + uri + QStringLiteral(" "));
        EXPECT_TRUE(m_services.messages.empty()) << messages();
        EXPECT_EQ(form.state().NombreBdD, uri);
        EXPECT_EQ(box(form)->text(), shown);
        EXPECT_FALSE(box(form)->toolTip().contains(PgCluster::passwordOf()));
        // The dialog keeps opening where the last database file was.
        EXPECT_EQ(form.state().DirectorioBdD, folder);

        // Leaving the box as it shows the name keeps the password for the run.
        typeAndEnter(form, shown);
        EXPECT_EQ(form.state().NombreBdD, uri);
        EXPECT_TRUE(m_services.messages.empty());
        form.close();
    }
    EXPECT_EQ(stored(app::kLastServerDatabase), shown);
    EXPECT_EQ(stored(app::kLastDatabaseFolder), folder);
    EXPECT_FALSE(settingsText().contains(PgCluster::passwordOf()));

    {
        // The next start has the server database again, without its password; a file chosen instead
        // is what the start after that one finds: nothing.
        Form1 form;
        EXPECT_EQ(form.state().NombreBdD, shown);
        EXPECT_EQ(box(form)->text(), shown);
        choose(form, "Command2", path("particular.sqlite"));
        ASSERT_EQ(m_services.dialogs.size(), 2u);
        EXPECT_EQ(m_services.dialogs[1].initDir, folder);
        form.close();
    }
    EXPECT_EQ(stored(app::kLastServerDatabase), QString());
    Form1 third;
    EXPECT_EQ(third.state().NombreBdD, QString());
    EXPECT_EQ(box(third)->text(), QString());
}

// A typed server is tried as soon as it is entered: one that cannot be used is refused there, with the
// reason the run would give, and the window stays open with the earlier database.
TEST_F(Form1DatabaseOnServer, ATypedServerThatCannotBeUsedIsRefusedWhenEntered) {
    ASSERT_NE(m_cluster, nullptr);
    const QString dbname = QStringLiteral("ventana_%1").arg(s_databases);
    struct Case {
        QString typed;
        const char* why;
    };
    const std::vector<Case> cases = {
        {address(PgCluster::passwordUser() + QStringLiteral(":mala-") + kSecret, dbname),
         "rechaza el usuario o la contraseña"},
        {address(PgCluster::passwordUser() + QLatin1Char(':') + PgCluster::passwordOf(),
                 QStringLiteral("no_existe_nunca")),
         "No existe la base de datos"},
        {QStringLiteral("postgresql://ana:%1@/mapas?host=%2").arg(kSecret, path("sin-servidor")),
         "No se puede conectar con el servidor"},
    };
    Form1 form;
    form.show();
    choose(form, "Command2", path("particular.sqlite"));
    choose(form, "Command3", path("mapa.bin"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        m_services.messages.clear();
        m_services.pointers.clear();
        typeAndEnter(form, c.typed);
        ASSERT_EQ(m_services.messages.size(), 1u);
        EXPECT_TRUE(m_services.messages[0].text.contains(QString::fromUtf8(c.why)))
            << m_services.messages[0].text.toStdString();
        EXPECT_FALSE(m_services.messages[0].text.contains(kSecret));
        EXPECT_FALSE(m_services.messages[0].text.contains(PgCluster::passwordOf()));
        EXPECT_EQ(form.state().NombreBdD, path("particular.sqlite"));
        EXPECT_EQ(box(form)->text(), engines::shownDatabaseName(c.typed));
        // The busy pointer while the server was tried, and the status line as it was.
        EXPECT_EQ(m_services.pointers,
                  (std::vector<core::MousePointer>{core::MousePointer::Busy, core::MousePointer::Default}));
        EXPECT_EQ(label5(form), QString());
        EXPECT_FALSE(m_services.exitCode);
        EXPECT_TRUE(form.isVisible());
    }
    EXPECT_FALSE(QFile::exists(path("mapa_s.bin")));
}

TEST_F(Form1DatabaseOnServer, TheTypedPasswordServesTheRunAndTheNextStartNeedsAPasswordFile) {
    ASSERT_NE(m_cluster, nullptr);
    {
        Form1 form;
        form.show();
        type(form, m_withPassword);  // "Procesar" takes what the box holds, even with no Return
        ASSERT_TRUE(runs(form)) << messages();
        EXPECT_EQ(label5(form), QStringLiteral("Creado el fichero : ") + QChar(13) + path("mapa_s.bin"));
        EXPECT_FALSE(box(form)->text().contains(PgCluster::passwordOf()));
        EXPECT_TRUE(m_services.messages.empty());
        form.close();
    }
    EXPECT_FALSE(settingsText().contains(PgCluster::passwordOf()));
    {
        // Remembered without its password, the database refuses the user.
        Form1 form;
        form.show();
        EXPECT_FALSE(runs(form));
        ASSERT_EQ(m_services.messages.size(), 1u);
        EXPECT_TRUE(
            m_services.messages[0].text.contains(QStringLiteral("rechaza el usuario o la contraseña")))
            << m_services.messages[0].text.toStdString();
        m_services.exitCode.reset();
        m_services.messages.clear();
    }
    // A password file, as the server's own tools read it, gives the password.
    const QString passwords = path("pgpass");
    QFile file(passwords);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(
        QStringLiteral("*:*:*:%1:%2\n").arg(PgCluster::passwordUser(), PgCluster::passwordOf()).toUtf8());
    file.close();
    QFile::setPermissions(passwords, QFile::ReadOwner | QFile::WriteOwner);
    qputenv("PGPASSFILE", QFile::encodeName(passwords));
    Form1 form;
    form.show();
    EXPECT_TRUE(runs(form)) << messages();
    EXPECT_TRUE(m_services.messages.empty());
}

// Watches what a path label shows (the window sets its tooltip with its text, at once); the first
// text that holds `awaited` runs `then`, there and then.
class TextWatch : public QObject {
  public:
    TextWatch(QLabel* label, QString awaited, std::function<void()> then)
        : m_label(label), m_awaited(std::move(awaited)), m_then(std::move(then)) {
        label->installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == m_label && event->type() == QEvent::ToolTipChange &&
            m_label->text().contains(m_awaited)) {
            seen = m_label->text();
            if (m_then) {
                std::exchange(m_then, nullptr)();
            }
        }
        return false;
    }
    QString seen;

  private:
    QLabel* m_label;
    QString m_awaited;
    std::function<void()> m_then;
};

TEST_F(Form1DatabaseOnServer, AJobWaitingForTheServerDatabaseSaysSoWithoutThePassword) {
    ASSERT_NE(m_cluster, nullptr);
    // Another job holds the database; it lets go as soon as the window says that it waits.
    std::unique_ptr<engines::Database> holder = engines::OpenDatabaseForJob(
        engines::DBEngine::instance().Workspaces(0), m_withPassword, std::chrono::seconds(10), {});
    Form1 form;
    form.show();
    auto* label5 = form.findChild<QLabel*>(QStringLiteral("Label5"));
    TextWatch watch(label5, QStringLiteral("Esperando a que termine otro proceso"), [&] {
        holder->Close();
        holder.reset();
    });
    type(form, m_withPassword);
    EXPECT_TRUE(runs(form)) << messages();
    EXPECT_TRUE(watch.seen.contains(PgCluster::passwordUser())) << watch.seen.toStdString();
    EXPECT_FALSE(watch.seen.contains(PgCluster::passwordOf())) << watch.seen.toStdString();
    EXPECT_EQ(holder, nullptr);
}

}  // namespace
}  // namespace vexilo::gui
