#pragma once
#include <QString>

#include "catalog/attributeindex.h"
#include "catalog/catalogcache.h"
#include "drawing/binfile.h"
#include "passes/passview.h"
#include "schema/runlog.h"

namespace vexilo::passes {

// What the assignment pass works on: the job's catalog, its attribute records and run log, the names
// the run log gives the two drawing files, and the mode.
struct AssignmentInputs {
    const catalog::Catalog& catalog;
    catalog::AttributeIndexes& records;
    schema::RunLog& log;
    QString NombreBin;
    QString NombreBinSalida;
    bool MantenerAsignaciones = false;
};

// The text assignment pass (default mode). Walks file1 into file3; closes file1 and syncs file3 at its
// end. Every change goes to the inputs' database at once, inside the job's transaction.
void LeoBinEntrada(const AssignmentInputs& in, PassView& view, drawing::BinReader& file1,
                   drawing::BinWriter& file3);

}  // namespace vexilo::passes
