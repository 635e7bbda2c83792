#pragma once
// What a pass did with one carried text element: a decision, or the reason it was passed over. One list
// of reasons serves the counts shown after a job (runreport.h) and the job's report, element by element.

#include <QString>
#include <cstddef>
#include <cstdint>

namespace vexilo::core {

enum class Decision : std::uint8_t {
    None,      // passed over: the reason says why
    Keep,      // assignment: links and record already agree; rewrite: the drawing holds the database's text
    Append,    // one link to the record added after the element's own
    Relink,    // the element's links for the table rewritten to the record
    Renumber,  // the record takes the number the element's link carries
    Rewrite,   // the element's text replaced by the database's
};
constexpr std::size_t kDecisionCount = static_cast<std::size_t>(Decision::Rewrite) + 1;

enum class PassedOver : std::uint8_t {
    None,
    NoFeature,            // the code designates no feature with a table
    Excluded,             // the code's feature is listed in NoAsignar
    Centroid,             // the code's feature is a centroid (ftype 4)
    NoEntitynum,          // the feature's table has no entity number in MsCatalog
    NonNumericCode,       // the code is empty or not a 32-bit whole number
    FullLinks,            // the element already holds 255 links: no link appended
    EntitynumOutOfRange,  // the entity number does not fit a link's 16 bits: no link appended
    NoLinks,              // rewrite: no link to an attribute table
    MissingRecord,        // rewrite: the links lead only to records that no longer exist
    RecordWithoutText,    // rewrite: the links lead only to records whose tmapa and tcomplet are Null
};
constexpr std::size_t kPassedOverCount = static_cast<std::size_t>(PassedOver::RecordWithoutText) + 1;

// The decision as the report names it: "mantener", "añadir", "reenlazar", "renumerar", "reescribir";
// "" for None.
QString decisionName(Decision decision);

// The reason in the user's words, as the counts after a job show it ("Textos con código no numérico");
// "" for None.
QString passedOverText(PassedOver reason);

}  // namespace vexilo::core
