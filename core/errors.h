#pragma once
// The two kinds of failure that travel up to the run driver as exceptions.
//
// RunError: any failure that no step of the job tests for (a file that cannot be opened, an error of
// the database engine, a value that cannot be converted). The driver shows its number and description
// and the job ends.
//
// Stop: a condition that the job tests for itself (a damaged drawing file, a missing catalog table, ...).
// It carries the exact message the user sees and its icon; an empty message ends the job silently
// (the field check has already shown its messages). Core code never shows a stop itself.

#include <QString>
#include <stdexcept>

namespace vexilo::core {

enum class Icon { None, Critical };

class RunError : public std::runtime_error {
  public:
    RunError(int number, const QString& description)
        : std::runtime_error(description.toStdString()), m_number(number), m_description(description) {}
    int number() const { return m_number; }
    const QString& description() const { return m_description; }

  private:
    int m_number;
    QString m_description;
};

// Errors reported by the database engine. Callers never catch them: they reach the run driver.
class EngineError : public RunError {
  public:
    using RunError::RunError;
};

class Stop : public std::runtime_error {
  public:
    explicit Stop(const QString& message, Icon icon = Icon::None, const QString& detail = QString())
        : std::runtime_error(message.toStdString()), m_message(message), m_icon(icon), m_detail(detail) {}
    const QString& message() const { return m_message; }
    Icon icon() const { return m_icon; }
    // Where and why, for a face that can show more than the exact message: the command line prints it,
    // the window offers it as the message box's details.
    const QString& detail() const { return m_detail; }

  private:
    QString m_message;
    Icon m_icon;
    QString m_detail;
};

// Error numbers of our own, for failures outside the database engine.
namespace errnum {
constexpr int kFileNotFound = 53;        // a file that does not exist
constexpr int kFileAccess = 75;          // a file that cannot be opened, read or written
constexpr int kConversion = 13;          // a value that cannot be converted
constexpr int kInternal = 51;            // a fault of our own: an invariant of the program broken
constexpr int kDatabaseNotFound = 3024;  // a database path that does not exist
constexpr int kNotADatabase = 3343;      // a file that is not a database of the engine
constexpr int kInterrupted = 18;         // the user asked the job to end
}  // namespace errnum

// The user asked the job to end (the window closed during it, and the question answered Yes). It ends
// the job as any failure does: the database as it was before the job, no output.
class Interrupted : public RunError {
  public:
    Interrupted() : RunError(errnum::kInterrupted, QStringLiteral("Proceso interrumpido por el usuario")) {}
};

}  // namespace vexilo::core
