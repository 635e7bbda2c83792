#include "fuzz/bodies.h"
#include "import/enginedestination.h"
#include "import/streamreader.h"

namespace vexilo::fuzz {

void importer(const std::uint8_t* data, std::size_t n) {
    const auto* p = reinterpret_cast<const char*>(data);
    try {
        vexilo::importer::copyIntoNewDatabase(QStringLiteral(":memory:"), QStringLiteral("fuzz"),
                                              [&](vexilo::importer::Destination& d) {
                                                  vexilo::importer::StreamReader reader(d);
                                                  // In two pieces, as a pipe hands them over: a frame may be
                                                  // cut anywhere.
                                                  const std::size_t half = n / 2;
                                                  reader.feed(p, half);
                                                  reader.feed(p + half, n - half);
                                                  reader.finish();
                                                  if (!reader.complete()) {
                                                      throw Finding("un flujo incompleto se dio por bueno");
                                                  }
                                                  return vexilo::importer::Result{reader.tables(), {}, {}};
                                              });
    } catch (const vexilo::importer::ImportError&) {
        // the answer to a damaged stream
    }
}

}  // namespace vexilo::fuzz
