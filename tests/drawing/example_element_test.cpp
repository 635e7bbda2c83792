// The carried text element of the format's worked example: code 123, text HOLA in one chunk, one link
// to record 17 of entity 5; 84 bytes.

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "core/normalisation.h"
#include "drawing/elementtext.h"
#include "tests/support/elementbuilder.h"
#include "tests/support/walkharness.h"

namespace vexilo::testing {
namespace {

ElementBuilder holaElement() {
    return ElementBuilder::t().codigoNul("123").texto("HOLA").link(5, 17);
}

void expectBytes(const Bytes& b, std::size_t at, std::initializer_list<int> want, const char* what) {
    std::size_t i = at;
    for (int w : want) {
        EXPECT_EQ(b.at(i), static_cast<std::uint8_t>(w)) << what << " at offset " << i;
        ++i;
    }
}

// Checks the example's fields one by one, with the opaque parts as the builder filled them.
void expectHolaLayout(const Bytes& b, const ElementBuilder& built) {
    ASSERT_EQ(b.size(), 84u);
    expectBytes(b, 0, {0x54, 0x3D}, "tipo");
    expectBytes(b, 2, {0x31, 0x32, 0x33, 0, 0, 0, 0}, "codigo");
    expectBytes(b, 9, {0x01}, "numEnlaces");
    expectBytes(b, 10, {0x02, 0x00}, "numRegistros");
    const auto block = built.blockDefault();
    EXPECT_TRUE(std::equal(block.begin(), block.end(), b.begin() + 12)) << "BloqueElemento";
    const auto first = built.defaultFirstRecord();
    EXPECT_TRUE(std::equal(first.begin(), first.end(), b.begin() + 48)) << "first body record";
    expectBytes(b, 60, {0x48, 0x4F, 0x4C, 0x41, 0, 0, 0, 0, 0, 0, 0, 0}, "TrozoTexto");
    expectBytes(b, 72, {0x05, 0x00}, "entitynum");
    expectBytes(b, 74, {0x11, 0x00, 0x00, 0x00}, "mslink");
    expectBytes(b, 78, {0x20, 0x20, 0x20, 0x20, 0x20, 0x20}, "reservado");
}

TEST(ExampleElement, BuilderLaysOutTheDocumentedBytes) {
    const ElementBuilder e = holaElement();
    expectHolaLayout(e.bytes(), e);
}

TEST(ExampleElement, TestDecoderReadsItsFieldsBack) {
    const auto parsed =
        parseElements(concat({holaElement().seed(9), ElementBuilder::c().seed(50).records(2)}));
    ASSERT_EQ(parsed.size(), 2u);
    EXPECT_EQ(parsed[0].tipo, "T=");
    EXPECT_EQ(parsed[0].codigo, std::string("123\0\0\0\0", 7));
    EXPECT_EQ(parsed[0].texto(), "HOLA");
    ASSERT_EQ(parsed[0].links.size(), 1u);
    EXPECT_EQ(parsed[0].links[0].entitynum, 5);
    EXPECT_EQ(parsed[0].links[0].mslink, 17);
    EXPECT_EQ(parsed[1].offset, 84u);
    EXPECT_EQ(parsed[1].size, 48u + 24u);
    EXPECT_EQ(parsed[1].body[1], ElementBuilder::c().seed(50).defaultRecord(1));
}

TEST(ExampleElement, RoundTripThroughReaderAndWriterKeepsEveryByte) {
    QTemporaryDir dir;
    const ElementBuilder e = holaElement().seed(0xA0);
    drawing::Element seen;
    const WalkOutcome r = runWalk(e.bytes(), dir.path(), [&seen](drawing::Element& elem) { seen = elem; });
    ASSERT_FALSE(r.corruptAt);
    expectHolaLayout(r.output, e);
    EXPECT_EQ(r.output, e.bytes());
    // And the fields as the passes get them.
    QString codigo = drawing::codeText(seen.header);
    core::limpia_texto(codigo);
    EXPECT_EQ(codigo, QStringLiteral("123"));
    EXPECT_EQ(drawing::chunksText(seen), QStringLiteral("HOLA") + QString(8, QChar(0)));
    ASSERT_EQ(seen.links.size(), 1u);
    EXPECT_EQ(seen.links[0].entitynum, 5);
    EXPECT_EQ(seen.links[0].mslink, 17);
}

}  // namespace
}  // namespace vexilo::testing
