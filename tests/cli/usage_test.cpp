// The command table against everything made from it: each subcommand's --help and the program's, run as
// the real program; the parser of each subcommand; the manual page the build writes; the one --espera.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include "app/rundriver.h"
#include "cli/cliprocess.h"
#include "cli/jobwait.h"
#include "cli/usage.h"
#include "engines/jobwaitlimit.h"
#include "engines/replacement.h"

namespace vexilo::testing {
namespace {

using cli::Command;
using cli::Option;

// The part of a subcommand's help before its description: the synopsis.
QString synopsisOf(const QString& help, const Command& c) {
    const qsizetype end = help.indexOf(c.description.left(30));
    EXPECT_GT(end, 0) << c.name.toStdString();
    return help.left(end);
}

// An option as a word of a text: followed by a space, a bracket or the end of the line.
bool namesOption(const QString& text, const QString& option) {
    return text.contains(
        QRegularExpression(QRegularExpression::escape(option) + QStringLiteral("([ \\]\\n]|$)")));
}

TEST(CommandTable, EachSubcommandsHelpIsTheTablesAndExplainsEveryOption) {
    for (const Command& c : cli::commandTable()) {
        SCOPED_TRACE(c.name.toStdString());
        const CliOutput s = runCli({c.name, QStringLiteral("--help")});
        ASSERT_EQ(s.state, 0) << s.errors.toStdString();
        EXPECT_EQ(s.output, cli::commandUsage(c));
        const QString synopsis = synopsisOf(s.output, c);
        EXPECT_TRUE(synopsis.startsWith(QStringLiteral("Uso: vexilo-cli ") + c.name));
        for (const QString& positional : c.positionals) {
            EXPECT_TRUE(synopsis.contains(positional)) << positional.toStdString();
        }
        for (const Option& o : c.options) {
            EXPECT_TRUE(namesOption(synopsis, o.name)) << o.name.toStdString();
            // Every option has a line of its own below the description that begins with it.
            EXPECT_TRUE(s.output.contains(QRegularExpression(
                QStringLiteral("\\n  ") + QRegularExpression::escape(o.name) + QStringLiteral("( |$)"))))
                << o.name.toStdString();
        }
    }
}

TEST(CommandTable, TheCommandsThatWaitForAJobSayHowLongInTheirHelp) {
    const QString seconds = QString::number(std::chrono::seconds(engines::kJobWaitLimit).count());
    for (const char* name : {"procesar", "demo", "importar"}) {
        const QString help = runCli({QLatin1String(name), QStringLiteral("--help")}).output;
        EXPECT_TRUE(help.contains(QStringLiteral("[--espera SEGUNDOS]"))) << name;
        EXPECT_TRUE(help.contains(QStringLiteral("(%1)").arg(seconds))) << name;
    }
    const QString process = runCli({QStringLiteral("procesar"), QStringLiteral("--help")}).output;
    EXPECT_TRUE(process.contains(QStringLiteral("--bin FICHERO [--bin FICHERO2 ...]")));
    EXPECT_TRUE(process.contains(QStringLiteral("[--modo no|si|texto]")));
}

TEST(CommandTable, TheProgramsHelpGivesEverySubcommandAllItsOptions) {
    const CliOutput s = runCli({QStringLiteral("--help")});
    ASSERT_EQ(s.state, 0);
    EXPECT_EQ(s.output, cli::programUsage());
    EXPECT_TRUE(s.output.contains(QStringLiteral("--version")));
    const auto& table = cli::commandTable();
    for (std::size_t i = 0; i < table.size(); ++i) {
        const Command& c = table[i];
        SCOPED_TRACE(c.name.toStdString());
        const qsizetype begin = s.output.indexOf(QStringLiteral("\n  ") + c.name + QLatin1Char(' '));
        ASSERT_GE(begin, 0);
        const qsizetype end =
            i + 1 < table.size()
                ? s.output.indexOf(QStringLiteral("\n  ") + table[i + 1].name + QLatin1Char(' '))
                : s.output.indexOf(QStringLiteral("\nEstado de salida"));
        ASSERT_GT(end, begin);
        const QString block = s.output.mid(begin, end - begin);
        for (const Option& o : c.options) {
            EXPECT_TRUE(namesOption(block, o.name)) << o.name.toStdString();
        }
    }
}

TEST(CommandTable, EverySubcommandTakesTheOptionsOfItsRowAndNoOther) {
    QSet<QString> all;
    for (const Command& c : cli::commandTable()) {
        for (const Option& o : c.options) {
            all.insert(o.name);
        }
    }
    for (const Command& c : cli::commandTable()) {
        QSet<QString> others = all;
        for (const Option& o : c.options) {
            others.remove(o.name);
            QStringList args{c.name, o.name};
            if (!o.value.isEmpty()) {
                args << QStringLiteral("1");
            }
            // With --help the subcommand reads its arguments, then shows its help without doing anything.
            const CliOutput s = runCli(args << QStringLiteral("--help"));
            EXPECT_EQ(s.state, 0) << args.join(QLatin1Char(' ')).toStdString() << ": "
                                  << s.errors.toStdString();
        }
        for (const QString& other : others) {
            const CliOutput s = runCli({c.name, other, QStringLiteral("1"), QStringLiteral("--help")});
            EXPECT_EQ(s.state, 2) << c.name.toStdString() << ' ' << other.toStdString();
            EXPECT_TRUE(s.errors.contains(QStringLiteral("opción desconocida: ") + other))
                << s.errors.toStdString();
        }
    }
}

TEST(CommandTable, HelpLinesFitTheWidthWithoutTrailingSpaces) {
    QStringList texts{cli::programUsage()};
    for (const Command& c : cli::commandTable()) {
        texts << cli::commandUsage(c);
    }
    for (const QString& text : texts) {
        for (const QString& line : text.split(QLatin1Char('\n'))) {
            EXPECT_LE(line.size(), cli::kUsageWidth) << line.toStdString();
            EXPECT_FALSE(line.endsWith(QLatin1Char(' '))) << '"' << line.toStdString() << '"';
        }
    }
}

// The page the build writes into the package (packaging/CMakeLists.txt).
QString builtManualPage() {
    QFile page(QStringLiteral(VEXILO_BINARY_DIR "/packaging/man/vexilo-cli.1"));
    EXPECT_TRUE(page.open(QIODevice::ReadOnly)) << page.fileName().toStdString();
    return QString::fromUtf8(page.readAll());
}

TEST(ManualPage, TheSynopsisIsTheTablesWithEveryOptionOfEverySubcommand) {
    const QString page = builtManualPage();
    const QString head = QStringLiteral(".SH SINOPSIS\n");
    const qsizetype begin = page.indexOf(head);
    ASSERT_GE(begin, 0);
    const qsizetype end = page.indexOf(QStringLiteral("\n.SH "), begin + head.size());
    ASSERT_GT(end, begin);
    const QString synopsis = page.mid(begin + head.size(), end + 1 - begin - head.size());
    EXPECT_EQ(synopsis, cli::manualSynopsis());
    EXPECT_FALSE(page.contains(QRegularExpression(QStringLiteral("@[A-Z]+@"))))
        << "a field of the template was left unfilled";

    const auto roff = [](QString s) { return s.replace(QLatin1Char('-'), QStringLiteral("\\-")); };
    for (const Command& c : cli::commandTable()) {
        SCOPED_TRACE(c.name.toStdString());
        const qsizetype from = synopsis.indexOf(QStringLiteral(".B vexilo\\-cli %1\n").arg(c.name));
        ASSERT_GE(from, 0);
        const QString block = synopsis.mid(from, synopsis.indexOf(QStringLiteral(".br\n"), from) - from);
        for (const Option& o : c.options) {
            EXPECT_TRUE(block.contains(QRegularExpression(QStringLiteral("^\\.(B|RB \\[) ") +
                                                              QRegularExpression::escape(roff(o.name)) +
                                                              QStringLiteral("( |$)"),
                                                          QRegularExpression::MultilineOption)))
                << o.name.toStdString();
        }
    }
}

// What a reader of "man vexilo-cli" sees: the page as groff sets it, hyphenation off.
TEST(ManualPage, TheSetPageShowsTheWaitOfEveryCommandThatWaits) {
    const QString groff = QStandardPaths::findExecutable(QStringLiteral("groff"));
    if (groff.isEmpty()) {
        GTEST_SKIP() << "groff is not installed";
    }
    QProcess p;
    p.start(groff, {QStringLiteral("-man"), QStringLiteral("-Kutf8"), QStringLiteral("-Tutf8"),
                    QStringLiteral("-rHY=0"), QStringLiteral("-P-cbou"),
                    QStringLiteral(VEXILO_BINARY_DIR "/packaging/man/vexilo-cli.1")});
    ASSERT_TRUE(p.waitForFinished(60000));
    ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    QString shown = QString::fromUtf8(p.readAllStandardOutput());
    // Set text: minus signs for the dashes, and lines broken wherever they fit.
    shown.replace(QChar(0x2212), QLatin1Char('-')).replace(QChar(0x2010), QLatin1Char('-'));
    shown = shown.simplified();
    const qsizetype begin = shown.indexOf(QStringLiteral("SINOPSIS"));
    const qsizetype end = shown.indexOf(QStringLiteral("DESCRIPCIÓN"));
    ASSERT_GT(end, begin);
    const QString synopsis = shown.mid(begin, end - begin);
    for (const char* name : {"procesar", "demo", "importar"}) {
        const qsizetype at = synopsis.indexOf(QStringLiteral("vexilo-cli ") + QLatin1String(name));
        ASSERT_GE(at, 0) << name;
        const qsizetype next = synopsis.indexOf(QStringLiteral("vexilo-cli "), at + 1);
        EXPECT_TRUE(synopsis.mid(at, next - at).contains(QStringLiteral("[--espera SEGUNDOS]"))) << name;
    }
    const qint64 seconds = std::chrono::seconds(engines::kJobWaitLimit).count();
    EXPECT_TRUE(shown.contains(QStringLiteral("(%1 por omisión)").arg(seconds)));
}

TEST(WaitOption, OneParserWithOneDefaultForEveryCommand) {
    const Command& importar = cli::commandNamed(QStringLiteral("importar"));
    const auto wait = [&](const QStringList& args) { return cli::waitOption(cli::parse(args, importar)); };
    // The default the table shows is the one the run driver and the importers start from.
    EXPECT_EQ(wait({}), engines::kJobWaitLimit);
    EXPECT_EQ(app::RunOptions{}.wait, engines::kJobWaitLimit);
    EXPECT_EQ(engines::JobWaitOptions{}.limit, engines::kJobWaitLimit);
    EXPECT_EQ(cli::jobWait(cli::parse({}, importar)).limit, engines::kJobWaitLimit);

    EXPECT_EQ(wait({QStringLiteral("--espera"), QStringLiteral("0")}), std::chrono::seconds(0));
    EXPECT_EQ(wait({QStringLiteral("--espera=604800")}), std::chrono::seconds(604800));
    EXPECT_EQ(cli::jobWait(cli::parse({QStringLiteral("--espera=7")}, importar)).limit,
              std::chrono::seconds(7));
    for (const char* wrong : {"-1", "604801", "diez", "1.5", ""}) {
        try {
            wait({QStringLiteral("--espera"), QLatin1String(wrong)});
            ADD_FAILURE() << wrong << " was taken";
        } catch (const cli::UsageError& e) {
            EXPECT_TRUE(e.message().contains(QStringLiteral("--espera"))) << e.message().toStdString();
        }
    }
}

}  // namespace
}  // namespace vexilo::testing
