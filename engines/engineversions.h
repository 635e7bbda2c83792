#pragma once
// The versions of the database libraries this program runs on, for the programs' --version.

#include <QString>

namespace vexilo::engines {

// SQLite's version as the library linked in reports it ("3.40.1").
QString sqliteVersion();
// libpq's version as the library linked in reports it ("15.18"): the client side of the server engine.
QString libpqVersion();

}  // namespace vexilo::engines
