#pragma once
// The seeds of the fuzz targets, made from the element builder and from the Access sample, so that
// nothing opaque is kept in the repository. vexilo-fuzz-seeds writes them out for libFuzzer; the
// ordinary test runs the bodies over them.

#include <QString>
#include <string>
#include <vector>

namespace vexilo::fuzz {

struct Seed {
    std::string name;  // a file name
    std::string data;
};

// Drawing files: every kind of element, dropped ones, texts of every length, a trailing byte.
std::vector<Seed> walkSeeds();

// Streams as vexilo-accessreader writes them: the whole sample `nwind`, each of its tables alone with its
// first rows, and the stream of a copy of it cut short (written under `tempDir`).
std::vector<Seed> importSeeds(const QString& nwind, const QString& tempDir);

}  // namespace vexilo::fuzz
