#include "tests/support/walkharness.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "drawing/binfile.h"
#include "drawing/walk.h"

namespace vexilo::testing {

WalkOutcome runWalk(const Bytes& input, const QString& dir,
                    const std::function<void(drawing::Element&)>& onText, std::size_t bufferSize) {
    const QString in = QDir(dir).filePath(QStringLiteral("entrada.bin"));
    const QString out = QDir(dir).filePath(QStringLiteral("entrada_s.bin"));
    // Fresh files each time: truncating a file that holds data makes some file systems flush it,
    // which costs milliseconds per run.
    QFile::remove(in);
    QFile::remove(out);
    writeFile(in, input);
    WalkOutcome outcome;
    try {
        drawing::BinReader reader(in, bufferSize);
        drawing::BinWriter writer(out, bufferSize);
        try {
            drawing::walk(
                reader, writer,
                [&](drawing::Element& e) {
                    ++outcome.textsHandled;
                    if (onText) {
                        onText(e);
                    }
                },
                [&](std::int64_t lo, std::int64_t pos) { outcome.progress.emplace_back(lo, pos); });
        } catch (const drawing::CorruptFile& c) {
            outcome.corruptAt = c.offset();
        }
        writer.close();
        reader.close();
    } catch (const core::RunError& e) {
        outcome.runError = e.description();
    }
    outcome.output = readFile(out);
    return outcome;
}

WalkOutcome fuzzWalkOnce(const Bytes& input, const QString& dir, std::size_t bufferSize) {
    WalkOutcome outcome = runWalk(input, dir, {}, bufferSize);
    EXPECT_FALSE(outcome.runError.has_value())
        << "no file fault was injected: " << qPrintable(*outcome.runError);
    for (const ParsedElement& e : parseElements(outcome.output)) {
        EXPECT_EQ(e.tipo[1], '=') << "dropped element written at output offset " << e.offset;
        EXPECT_TRUE(e.tipo[0] == 'C' || e.tipo[0] == 'T') << "class " << int(e.tipo[0]) << " written";
        if (e.tipo[0] == 'T') {
            EXPECT_GE(e.numRegistros, 1) << "text element without its first body record";
        }
    }
    if (outcome.corruptAt) {
        EXPECT_GE(*outcome.corruptAt, 0);
        EXPECT_LT(*outcome.corruptAt, static_cast<std::int64_t>(input.size()));
    }
    EXPECT_LE(outcome.output.size(), input.size()) << "the walk alone only copies or drops";
    return outcome;
}

}  // namespace vexilo::testing
