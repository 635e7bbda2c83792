#pragma once
// Choosing the database and the input drawing file, and remembering their folders from one use of the
// program to the next. The dialogs, the settings store and the file deletion go through the installed
// platform services; what is shown goes through f.display.

#include <QString>

#include "app/core/runstate.h"

namespace vexilo::app {

// Folder of a chosen file: the part of the full path before the first occurrence of its bare name
// (exact, case-sensitive), so it keeps its trailing separator. A bare name not found in the path gives
// the empty text.
QString carpetaDe(const QString& nombreCompleto, const QString& nombreSimple);
// The input path without its extension when it ends in a dot and three characters ("hoja.bin",
// "hoja.dgn"); any other path whole ("sub/ab", "hoja.bin2").
QString baseDeSalida(const QString& nombreBin);
// The output drawing file beside the input: the base, then "_s" and ".bin".
QString nombreDeSalida(const QString& nombreBin);

// Refuses (platform::Stop, before anything is deleted or written) an output that is, after resolving
// links, the same file as the input drawing or the database. Empty names are not compared.
void rechazaSalidaSobreEntradas(const QString& salida, const QString& bin, const QString& bdd);

// "..." of the database: clears the status area, then asks for the database starting in the folder used
// last time. A cancel keeps the previous choice and changes nothing else.
void Command2_Click(RunState& f);
// "..." of the drawing file: asks for it starting in the folder used last time, derives the output name
// and deletes an old file of that name (a failed deletion is a RunError; an old "output" that is the
// input or the database itself is refused and kept). A cancel keeps the previous choice and never deletes
// anything.
void Command3_Click(RunState& f);
// Saves both folders, also when empty because nothing of that kind was chosen.
void Form_Unload(RunState& f);

}  // namespace vexilo::app
