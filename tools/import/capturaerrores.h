#pragma once
// libmdb writes its warnings straight to the process's standard error. While an import reads the
// file, standard error is sent to a temporary file instead; what was written there is handed back as
// warnings. Only one capture may be active at a time, and nothing else should write to standard error
// meanwhile (the import runs on one thread).

#include <QStringList>

namespace vexilo::importacion {

class CapturaErrores {
  public:
    CapturaErrores();
    ~CapturaErrores();  // restores standard error if termina() was not called
    CapturaErrores(const CapturaErrores&) = delete;
    CapturaErrores& operator=(const CapturaErrores&) = delete;

    // Restores standard error and returns the captured lines, empty lines left out.
    QStringList termina();

  private:
    int m_original = -1;
    int m_temporal = -1;
};

}  // namespace vexilo::importacion
