#pragma once
// A failure that the user is told by its message alone, in Spanish, with nothing done: a command line that
// asks for something wrong, an import that cannot be made. Each kind derives its own type from this one so
// that a face tells them apart (a usage error exits with 2, a failed import with 1).

#include <QString>
#include <stdexcept>

namespace vexilo::core {

class UserError : public std::runtime_error {
  public:
    explicit UserError(const QString& message)
        : std::runtime_error(message.toStdString()), m_message(message) {}
    const QString& message() const { return m_message; }

  private:
    QString m_message;
};

}  // namespace vexilo::core
