#pragma once
// Modulo_Config: the remembered folders (and a server database), one named setting at a time, in the per-user
// settings store of the installed services (application "Vexilo", section "Setting").

#include <QString>

namespace vexilo::app {

inline constexpr char kApplication[] = "Vexilo";
inline constexpr char kSection[] = "Setting";
inline constexpr char kLastDatabaseFolder[] = "UltimoDirectorio";    // folder of the database
inline constexpr char kLastDrawingFolder[] = "UltimoDirectorioBin";  // folder of the drawing file
// The server database of the last use, without its password; empty when that was a file or none.
inline constexpr char kLastServerDatabase[] = "UltimaBdDServidor";

// valor receives the stored text, or the empty text when the key has never been written.
void LeeConfiguracion(const QString& clave, QString& valor);
// Stores valor under clave, creating or replacing it. A store that cannot be written is a RunError.
void GuardaConfiguracion(const QString& clave, const QString& valor);

}  // namespace vexilo::app
