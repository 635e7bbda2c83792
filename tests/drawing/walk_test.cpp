// The walk over a drawing file: what is carried, dropped and copied, and where a damaged file stops.

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "drawing/binfile.h"
#include "drawing/elementtext.h"
#include "tests/support/elementbuilder.h"
#include "tests/support/walkharness.h"

namespace vexilo::testing {
namespace {

class Walk : public ::testing::Test {
  protected:
    WalkOutcome walk(const Bytes& input, const std::function<void(drawing::Element&)>& onText = {}) {
        return runWalk(input, m_dir.path(), onText);
    }
    QTemporaryDir m_dir;
};

ElementBuilder textoHola(std::uint8_t seed) {
    return ElementBuilder::t().seed(seed).codigoNul("123").texto("HOLA").link(5, 17);
}

// A correct file of every carried shape: C without records, C with records and links, T with an empty
// text, T with a long text and several links.
std::vector<ElementBuilder> correctElements() {
    return {
        ElementBuilder::c().seed(10),
        ElementBuilder::c().seed(20).records(4).link(3, 70000).link(-2, -1),
        ElementBuilder::t().seed(30).codigoSpaces("  45"),
        ElementBuilder::t()
            .seed(40)
            .codigoNul("9")
            .texto("CALLE DE LA MAYOR ESPERANZA", Pad::Space)
            .link(5, 17)
            .link(5, 18)
            .link(32767, 1),
    };
}

std::vector<std::size_t> offsetsOf(const std::vector<ElementBuilder>& elements) {
    std::vector<std::size_t> offsets;
    std::size_t at = 0;
    for (const ElementBuilder& e : elements) {
        offsets.push_back(at);
        at += e.size();
    }
    offsets.push_back(at);
    return offsets;
}

Bytes prefix(const Bytes& b, std::size_t n) {
    return Bytes(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(n));
}

TEST_F(Walk, CarriedElementsOfEveryShapeAreCopiedByteForByte) {
    const Bytes input = concat(correctElements());
    const WalkOutcome r = walk(input);
    EXPECT_FALSE(r.corruptAt);
    EXPECT_EQ(r.output, input);
    EXPECT_EQ(r.textsHandled, 2);
    const auto parsed = parseElements(r.output);
    ASSERT_EQ(parsed.size(), 4u);
    EXPECT_EQ(parsed[0].size, 48u);
    EXPECT_EQ(parsed[1].body.size(), 4u);
    EXPECT_EQ(parsed[1].links[0].mslink, 70000);
    EXPECT_EQ(parsed[2].numRegistros, 1);
    EXPECT_EQ(parsed[2].texto(), "");
    EXPECT_EQ(parsed[3].rawChunks(), "CALLE DE LA MAYOR ESPERANZA         ");
}

TEST_F(Walk, ReaderHandsTheElementOverInItsParts) {
    std::vector<drawing::Element> seen;
    const auto elements = correctElements();
    walk(concat(elements), [&](drawing::Element& e) { seen.push_back(e); });
    ASSERT_EQ(seen.size(), 2u);
    const drawing::Element& longOne = seen[1];
    EXPECT_EQ(longOne.offset, static_cast<std::int64_t>(offsetsOf(elements)[3]));
    EXPECT_EQ(longOne.header.numRegistros, 4);
    EXPECT_EQ(longOne.header.numEnlaces, 3);
    ASSERT_EQ(longOne.body.size(), 1u);
    EXPECT_EQ(longOne.body[0], elements[3].defaultFirstRecord());
    ASSERT_EQ(longOne.chunks.size(), 3u);
    EXPECT_EQ(drawing::chunksText(longOne), QStringLiteral("CALLE DE LA MAYOR ESPERANZA         "));
    EXPECT_EQ(drawing::codeText(longOne.header), QStringLiteral("9") + QString(6, QChar(0)));
    EXPECT_EQ(longOne.links[2].entitynum, 32767);
    EXPECT_EQ(longOne.block, elements[3].blockDefault());
    EXPECT_TRUE(seen[0].chunks.empty());
    EXPECT_EQ(drawing::codeText(seen[0].header), QStringLiteral("  45   "));
}

TEST_F(Walk, DroppedElementOfAnyClassIsSkippedByItsCounts) {
    const char classes[] = {'C', 'T', 'c', 't', 'Z', '\0', '='};
    const char flags[] = {' ', 'x', '\0', '-', 'C'};
    for (char cls : classes) {
        for (char flag : flags) {
            SCOPED_TRACE(::testing::Message() << "tipo " << int(cls) << "," << int(flag));
            const ElementBuilder dropped = ElementBuilder::tipo(cls, flag).seed(99).records(3).link(1, 2);
            const Bytes input = concat({textoHola(1), dropped, ElementBuilder::c().seed(7).records(1)});
            const WalkOutcome r = walk(input);
            EXPECT_FALSE(r.corruptAt);
            EXPECT_EQ(r.output, concat({textoHola(1), ElementBuilder::c().seed(7).records(1)}));
            EXPECT_EQ(r.textsHandled, 1);
            EXPECT_EQ(r.progress.size(), 3u) << "progress follows every element, dropped ones too";
        }
    }
    // A dropped T element's counts hold whatever it has; its chunks are skipped like any record.
    const Bytes input =
        concat({ElementBuilder::tipo('T', ' ').texto("SALTADO Y OLVIDADO").link(1, 1), ElementBuilder::c()});
    EXPECT_EQ(walk(input).output, ElementBuilder::c().bytes());
}

TEST_F(Walk, FileOfDroppedElementsOnlyGivesAnEmptyOutput) {
    const WalkOutcome r =
        walk(concat({ElementBuilder::tipo('T', '-').texto("A"), ElementBuilder::tipo('C', ' ')}));
    EXPECT_FALSE(r.corruptAt);
    EXPECT_TRUE(r.output.empty());
    EXPECT_EQ(r.textsHandled, 0);
}

TEST_F(Walk, CarriedElementOfAnotherClassIsACorruptFileAtItsOffset) {
    for (char cls : {'c', 't', 'X', ' ', '\0', '='}) {
        SCOPED_TRACE(int(cls));
        const ElementBuilder first = textoHola(1);
        const Bytes input = concat({first, ElementBuilder::tipo(cls, '=').records(1), ElementBuilder::c()});
        const WalkOutcome r = walk(input);
        ASSERT_TRUE(r.corruptAt);
        EXPECT_EQ(*r.corruptAt, 84);
        EXPECT_EQ(r.output, first.bytes()) << "the output keeps what was written before";
    }
}

TEST_F(Walk, CountsThatBreakTheLayoutAreACorruptFile) {
    const ElementBuilder first = ElementBuilder::c().records(2);
    struct Case {
        const char* name;
        ElementBuilder bad;
    };
    const Case cases[] = {
        {"negative numRegistros, carried", ElementBuilder::c().records(1).numRegistros(-1)},
        {"negative numRegistros, dropped", ElementBuilder::tipo('C', ' ').records(1).numRegistros(-2)},
        {"lowest numRegistros", ElementBuilder::t().numRegistros(-32768)},
        {"T without its first body record", ElementBuilder::t().numRegistros(0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const WalkOutcome r = walk(concat({first, c.bad, ElementBuilder::c(), ElementBuilder::c()}));
        ASSERT_TRUE(r.corruptAt);
        EXPECT_EQ(*r.corruptAt, static_cast<std::int64_t>(first.size()));
        EXPECT_EQ(r.output, first.bytes());
    }
}

TEST_F(Walk, FileCutShortAtEveryByteOfItsLastElementStopsAsCorrupt) {
    const auto elements = correctElements();
    const Bytes whole = concat(elements);
    const std::size_t last = offsetsOf(elements)[3];
    const Bytes before = prefix(whole, last);
    for (std::size_t cut = last + 1; cut < whole.size(); ++cut) {
        SCOPED_TRACE(::testing::Message() << "cut at " << cut);
        const WalkOutcome r = walk(prefix(whole, cut));
        if (cut == last + 1) {
            // One byte left: a single trailing byte, not an element.
            EXPECT_FALSE(r.corruptAt);
        } else {
            ASSERT_TRUE(r.corruptAt);
            EXPECT_EQ(*r.corruptAt, static_cast<std::int64_t>(last));
        }
        EXPECT_EQ(r.output, before);
    }
}

TEST_F(Walk, SingleTrailingByteIsIgnoredButTwoAreACutHeader) {
    const Bytes elements = concat({textoHola(1), ElementBuilder::c()});
    Bytes oneMore = elements;
    oneMore.push_back('T');
    WalkOutcome r = walk(oneMore);
    EXPECT_FALSE(r.corruptAt);
    EXPECT_EQ(r.output, elements);

    Bytes twoMore = oneMore;
    twoMore.push_back('=');
    r = walk(twoMore);
    ASSERT_TRUE(r.corruptAt);
    EXPECT_EQ(*r.corruptAt, static_cast<std::int64_t>(elements.size()));
    EXPECT_EQ(r.output, elements);
}

TEST_F(Walk, EmptyAndOneByteFilesWriteNothingAndReportNoProgress) {
    for (const Bytes& input : {Bytes{}, Bytes{'C'}}) {
        const WalkOutcome r = walk(input);
        EXPECT_FALSE(r.corruptAt);
        EXPECT_FALSE(r.runError);
        EXPECT_TRUE(r.output.empty());
        EXPECT_TRUE(r.progress.empty());
    }
}

TEST_F(Walk, ProgressFollowsEveryElementWithTheNextBytePosition) {
    const auto elements = correctElements();
    std::vector<ElementBuilder> withDropped = elements;
    withDropped.insert(withDropped.begin() + 1, ElementBuilder::tipo('T', ' ').texto("X"));
    Bytes input = concat(withDropped);
    input.push_back(0);  // trailing byte: the last position is lowered to the length
    const auto offsets = offsetsOf(withDropped);
    const WalkOutcome r = walk(input);
    const auto lo = static_cast<std::int64_t>(input.size());
    ASSERT_EQ(r.progress.size(), withDropped.size());
    for (std::size_t i = 0; i < withDropped.size(); ++i) {
        EXPECT_EQ(r.progress[i].first, lo);
        EXPECT_EQ(r.progress[i].second,
                  std::min<std::int64_t>(static_cast<std::int64_t>(offsets[i + 1]) + 1, lo));
    }
    EXPECT_EQ(r.progress.back().second, lo);
}

TEST_F(Walk, WrongCountOnADroppedElementMisplacesTheWalk) {
    // One record too many swallows the next element's header: the walk then reads the next element's
    // block as a header, which here says class Z, carried.
    std::array<std::uint8_t, 36> block{};
    block.fill(0x55);
    block[0] = 'Z';
    block[1] = '=';
    const ElementBuilder dropped = ElementBuilder::tipo('C', ' ').records(2).numRegistros(3);
    const ElementBuilder next = ElementBuilder::c().block(block);
    const ElementBuilder first = textoHola(1);
    WalkOutcome r = walk(concat({first, dropped, next}));
    ASSERT_TRUE(r.corruptAt);
    EXPECT_EQ(*r.corruptAt, static_cast<std::int64_t>(first.size() + dropped.size() + 12));
    EXPECT_EQ(r.output, first.bytes());
}

// A dropped element whose counts run past the end of the file is damage like a carried element cut
// short: the walk stops there with the corrupt-file stop, never ends quietly as if the file were whole.
TEST_F(Walk, DroppedElementRunningPastTheEndIsACorruptFile) {
    const ElementBuilder first = textoHola(1);
    const ElementBuilder last = textoHola(2);
    const ElementBuilder wrongCounts[] = {
        ElementBuilder::tipo('T', 'x').texto("FIN").numRegistros(500).numEnlaces(9),
        ElementBuilder::tipo('C', ' ').records(1).numRegistros(32767),
        ElementBuilder::tipo('C', ' ').records(1).numEnlaces(255),
        ElementBuilder::tipo('C', ' ').records(1).numRegistros(2),  // one record too many, at the end
    };
    for (const ElementBuilder& dropped : wrongCounts) {
        const WalkOutcome r = walk(concat({first, dropped}));
        ASSERT_TRUE(r.corruptAt);
        EXPECT_EQ(*r.corruptAt, static_cast<std::int64_t>(first.size()));
        EXPECT_EQ(r.output, first.bytes());
    }
    // Ending exactly at the end of the file, or one trailing byte short of it, is whole.
    const ElementBuilder exact = ElementBuilder::tipo('C', ' ').records(1);
    Bytes trailing = concat({first, exact, last});
    trailing.push_back(0x7f);
    const WalkOutcome whole = walk(trailing);
    EXPECT_FALSE(whole.corruptAt);
    EXPECT_EQ(whole.output, concat({first, last}));
}

TEST_F(Walk, ChangesMadeByThePassShiftTheElementsAfterIt) {
    const auto elements = correctElements();
    const WalkOutcome r = walk(concat(elements), [](drawing::Element& e) {
        // What a pass may do: rewrite the code, re-chunk the text, append a link.
        drawing::storeCode(e.header, QStringLiteral("77"));
        e.chunks = {drawing::textChunk(QStringLiteral("ÑANDÚ")), drawing::textChunk(QString())};
        drawing::EnlaceAtributo link;
        link.entitynum = 8;
        link.mslink = 123456;
        link.reservado.fill(' ');
        e.links.push_back(link);
        e.header.numRegistros = static_cast<std::int16_t>(1 + e.chunks.size());
        e.header.numEnlaces = static_cast<std::uint8_t>(e.links.size());
    });
    ASSERT_FALSE(r.corruptAt);
    const auto parsed = parseElements(r.output);
    ASSERT_EQ(parsed.size(), 4u);
    EXPECT_EQ(parsed[0].offset, 0u);
    EXPECT_EQ(parsed[2].codigo, "77     ");
    EXPECT_EQ(parsed[2].rawChunks(),
              "\xD1"
              "AND\xDA       " +
                  std::string(12, ' '));
    EXPECT_EQ(parsed[2].links.back().mslink, 123456);
    EXPECT_EQ(parsed[3].links.size(), 4u);
    EXPECT_EQ(parsed[3].body[0], elements[3].defaultFirstRecord());
    // The C elements around them are untouched.
    EXPECT_EQ(prefix(r.output, 48 + elements[1].size()), prefix(concat(elements), 48 + elements[1].size()));
}

TEST_F(Walk, TinyBuffersGiveTheSameOutputAsLargeOnes) {
    Bytes input = concat(correctElements());
    const Bytes more = concat({ElementBuilder::tipo('C', 'x').records(7), textoHola(3)});
    input.insert(input.end(), more.begin(), more.end());
    const WalkOutcome big = walk(input);
    for (std::size_t size : {1u, 12u, 13u, 47u, 48u, 61u, 100u}) {
        SCOPED_TRACE(size);
        const WalkOutcome small = runWalk(input, m_dir.path(), {}, size);
        EXPECT_FALSE(small.corruptAt);
        EXPECT_EQ(small.output, big.output);
        EXPECT_EQ(small.progress, big.progress);
    }
}

// The next part of the file is read while the walk reads the one before: damage met in any part, a
// dropped element that spans parts or runs past the end, and a file that ends exactly where a part
// does stop the walk where one reading of the whole file stops it.
TEST_F(Walk, PartsReadAheadStopAtDamageWhereOneWholeReadStops) {
    const Bytes whole = concat(correctElements());
    Bytes droppedPastTheEnd = whole;
    const Bytes dropped = ElementBuilder::tipo('C', 'x').records(40).bytes();
    droppedPastTheEnd.insert(droppedPastTheEnd.end(), dropped.begin(), dropped.end() - 100);
    const std::vector<Bytes> inputs = {whole, prefix(whole, whole.size() - 30), droppedPastTheEnd};
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        const Bytes& input = inputs[i];
        const WalkOutcome big = walk(input);
        EXPECT_EQ(big.corruptAt.has_value(), i > 0);
        for (std::size_t size :
             {std::size_t{1}, std::size_t{49}, input.size() / 2, input.size(), whole.size()}) {
            SCOPED_TRACE(::testing::Message() << "input " << i << ", part " << size);
            const WalkOutcome small = runWalk(input, m_dir.path(), {}, size);
            EXPECT_EQ(small.corruptAt, big.corruptAt);
            EXPECT_EQ(small.output, big.output);
            EXPECT_EQ(small.progress, big.progress);
        }
    }
}

}  // namespace
}  // namespace vexilo::testing
