#include "gui/pathelision.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>

namespace vexilo::gui {
namespace {

struct Elision {
    const char* path;
    const char* name;  // what must stay whole at the end
    int width;         // in average characters of the font
};

TEST(PathElisionTest, LongPathsAreCutInTheFolderAndKeepTheFileName) {
    const QFontMetrics metrics(QApplication::font());
    const int unit = metrics.averageCharWidth();
    const Elision cases[] = {
        {"/srv/cartografia/municipios/zona norte/entregas definitivas/hoja_0457_s.bin", "hoja_0457_s.bin",
         40},
        {"C:\\Proyectos\\Cartografia municipal\\Revision 2024\\Entregas\\mapa_s.bin", "mapa_s.bin", 30},
        // Both separators in one path: the name starts after the last of either.
        {"C:\\datos/una carpeta muy larga de verdad/otra\\parcela.sqlite", "parcela.sqlite", 25},
        {"/a/b/c/d/e/f/g/h/i/j/k/l/m/n/o/p/q/r/s/t/u/v/w/x/y/z/final.bin", "final.bin", 15},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const QString path = QString::fromUtf8(c.path);
        const int width = c.width * unit;
        ASSERT_GT(metrics.horizontalAdvance(path), width) << "the case must need a cut";
        const QString shown = elidePath(path, metrics, width);
        EXPECT_LE(metrics.horizontalAdvance(shown), width);
        EXPECT_TRUE(shown.endsWith(QString::fromUtf8(c.name))) << shown.toStdString();
        EXPECT_TRUE(shown.contains(QStringLiteral("…")));
        EXPECT_EQ(shown.front(), path.front()) << "the start of the folder stays too";
    }
}

TEST(PathElisionTest, WhatFitsIsLeftAloneAndANameTooLongIsCutInItsMiddle) {
    const QFontMetrics metrics(QApplication::font());
    const QString shortPath = QStringLiteral("/datos/mapa_s.bin");
    EXPECT_EQ(elidePath(shortPath, metrics, metrics.horizontalAdvance(shortPath)), shortPath);
    EXPECT_EQ(elidePath(QString(), metrics, 10), QString());

    const QString longName =
        QStringLiteral("/d/hoja_de_la_cartografia_municipal_revisada_del_ano_2024_s.bin");
    const int width = metrics.horizontalAdvance(QStringLiteral("hoja_de_la_cartografia"));
    const QString shown = elidePath(longName, metrics, width);
    EXPECT_LE(metrics.horizontalAdvance(shown), width);
    EXPECT_TRUE(shown.contains(QStringLiteral("…")));
    EXPECT_TRUE(shown.endsWith(QStringLiteral("_s.bin"))) << shown.toStdString();

    // Room for nothing at all.
    EXPECT_LE(metrics.horizontalAdvance(elidePath(longName, metrics, 1)), 1);
}

}  // namespace
}  // namespace vexilo::gui
