#include "drawing/walk.h"

#include <algorithm>

namespace vexilo::drawing {

void walk(BinReader& in, BinWriter& out, const TextHandler& onText, const ProgressHook& progress) {
    const std::int64_t lo = in.length();
    Element e;  // reused: one element in memory, its vectors keep their capacity
    // Without a handler every element is parsed and written again from its parts; with one, a C element
    // goes through as the bytes it is.
    const BinReader::Contents contents = onText ? BinReader::Contents::Headers : BinReader::Contents::All;
    // Checked before the first read, so an empty or one-byte file writes nothing and reports no
    // progress (there is no length to divide by).
    while (in.more()) {
        if (in.readElement(e, contents)) {
            if (onText && e.header.elementClass() == layout::kClassT) {
                onText(e);
                out.write(e);
            } else if (contents == BinReader::Contents::Headers) {
                out.writeBytes(in.elementBytes());
            } else {
                out.write(e);
            }
        }
        if (progress) {
            progress(lo, std::min(in.position() + 1, lo));
        }
    }
}

}  // namespace vexilo::drawing
