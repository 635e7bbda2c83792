#pragma once
// The seeds of the fuzz targets, made from the element builder and from the Access sample, so that
// nothing opaque is kept in the repository. vexilo-fuzz-semillas writes them out for libFuzzer; the
// ordinary test runs the bodies over them.

#include <QString>
#include <string>
#include <vector>

namespace vexilo::fuzz {

struct Semilla {
    std::string nombre;  // a file name
    std::string datos;
};

// Drawing files: every kind of element, dropped ones, texts of every length, a trailing byte.
std::vector<Semilla> semillasRecorrido();

// Streams as vexilo-leeaccess writes them: the whole sample `nwind`, each of its tables alone with its
// first rows, and the stream of a copy of it cut short (written under `dirTemporal`).
std::vector<Semilla> semillasImportacion(const QString& nwind, const QString& dirTemporal);

}  // namespace vexilo::fuzz
