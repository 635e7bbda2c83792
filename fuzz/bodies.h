#pragma once
// The bodies of the fuzz targets. Each takes any bytes and returns normally for every input the code
// under test may meet, however damaged; a broken invariant throws Finding, and a crash or a sanitizer
// report is a finding too. The libFuzzer mains call them, and so does an ordinary test over the seeds.

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace vexilo::fuzz {

class Finding : public std::logic_error {
  public:
    explicit Finding(const std::string& what) : std::logic_error(what) {}
};

// The drawing walk: the input as a drawing file, walked with a text treatment that goes through the
// element text and normalisation functions and writes each text back as the rewrite pass does. A
// CorruptFile stop is an answer; anything else that escapes is a finding. Whatever was written must
// walk again unchanged, and every text must come back from its chunks as it went in.
void walk(const std::uint8_t* data, std::size_t n);

// The importer's reading: the input as the stream that vexilo-accessreader writes, read by the real
// stream reader into an SQLite database in memory. ImportError is an answer; anything else that
// escapes is a finding.
void importer(const std::uint8_t* data, std::size_t n);

}  // namespace vexilo::fuzz
