#pragma once
#include "catalog/catalogcache.h"
#include "catalog/textreader.h"
#include "drawing/binfile.h"
#include "passes/passview.h"

namespace vexilo::passes {

// The text rewrite pass ("Modificar Texto en Bin"). Walks file1 into file3, reading the records' texts
// through `texts`; closes file1 and syncs file3 at its end. The database is only read.
void LeoBinCambiaTextoBin(const catalog::Catalog& catalog, catalog::AttributeTexts& texts, PassView& view,
                          drawing::BinReader& file1, drawing::BinWriter& file3);

}  // namespace vexilo::passes
