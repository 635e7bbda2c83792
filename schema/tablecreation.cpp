#include "schema/tablecreation.h"

namespace vexilo::schema {

void CreaTabla(engines::Database& bd, const QString& NombreTabla) {
    using engines::Database;
    using engines::TableDef;
    TableDef def = Database::CreateTableDef(NombreTabla);
    def.Append(TableDef::CreateField(QStringLiteral("MsLink"), engines::dbLong));
    def.Append(TableDef::CreateField(QStringLiteral("tcomplet"), engines::dbText));
    def.Append(TableDef::CreateField(QStringLiteral("tmapa"), engines::dbText, 100));
    def.Append(TableDef::CreateField(QStringLiteral("tfeature"), engines::dbLong));
    def.Append(TableDef::CreateField(QStringLiteral("clasific"), engines::dbInteger));
    bd.AppendTableDef(def);
}

}  // namespace vexilo::schema
