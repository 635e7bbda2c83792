#pragma once
// Command-line arguments of one subcommand: positional values, options with a value ("--bdd BD" or
// "--bdd=BD", repeatable) and flags ("-q"). Anything else is a usage error.

#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>
#include <stdexcept>

namespace vexilo::cli {

// A usage error: the message says what is wrong; the caller adds the usage text and exits with 2.
class ErrorUso : public std::runtime_error {
  public:
    explicit ErrorUso(const QString& mensaje)
        : std::runtime_error(mensaje.toStdString()), m_mensaje(mensaje) {}
    const QString& mensaje() const { return m_mensaje; }

  private:
    QString m_mensaje;
};

struct Argumentos {
    QStringList posicionales;
    QMap<QString, QStringList> opciones;  // every value given, in order
    QSet<QString> banderas;
    bool ayuda = false;  // -h or --help anywhere

    QString opcion(const QString& nombre, const QString& porDefecto = {}) const;
    // A whole number given as an option; a usage error when it is not one or lies outside [minimo, maximo].
    qint64 numero(const QString& nombre, qint64 porDefecto, qint64 minimo, qint64 maximo) const;
};

// conValor: options that take a value; banderas: options without one. Both spelled with their dashes.
Argumentos analiza(const QStringList& args, const QSet<QString>& conValor, const QSet<QString>& banderas);

}  // namespace vexilo::cli
