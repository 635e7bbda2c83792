#pragma once
// Included once by each main program that runs libmdb. libmdb keeps part of what it allocates (its
// catalog, glib's caches) until the program ends; in a sanitizer build those leaks are suppressed by the
// libraries' names, so that any leak of our own is still reported.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libmdb.so\nleak:libmdbsql.so\nleak:libglib-2.0.so\n";
}
