#include "schema/tablecreation.h"

namespace vexilo::schema {

void CreaTabla(platform::Database& bd, const QString& NombreTabla) {
    using platform::Database;
    using platform::TableDef;
    TableDef def = Database::CreateTableDef(NombreTabla);
    def.Append(TableDef::CreateField(QStringLiteral("MsLink"), platform::dbLong));
    def.Append(TableDef::CreateField(QStringLiteral("tcomplet"), platform::dbText));
    def.Append(TableDef::CreateField(QStringLiteral("tmapa"), platform::dbText, 100));
    def.Append(TableDef::CreateField(QStringLiteral("tfeature"), platform::dbLong));
    def.Append(TableDef::CreateField(QStringLiteral("clasific"), platform::dbInteger));
    bd.AppendTableDef(def);
}

}  // namespace vexilo::schema
