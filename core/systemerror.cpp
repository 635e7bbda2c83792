#include "core/systemerror.h"

#include <QFileDevice>
#include <cerrno>

namespace vexilo::core {

QString systemReason(int error) {
    switch (error) {
        case ENOSPC:
        case EDQUOT:
            return QStringLiteral("el disco está lleno");
        case EIO:
            return QStringLiteral("error de lectura o escritura del disco");
        case EACCES:
        case EPERM:
            return QStringLiteral("no hay permiso");
        case EROFS:
            return QStringLiteral("el disco es de solo lectura");
        case ENOENT:
            return QStringLiteral("no existe el fichero o la carpeta");
        case ENOTDIR:
            return QStringLiteral("una parte de la ruta no es una carpeta");
        case EISDIR:
            return QStringLiteral("es una carpeta");
        case EEXIST:
            return QStringLiteral("ya existe un fichero con ese nombre");
        case EXDEV:
            return QStringLiteral("el fichero y su nombre final están en discos distintos");
        case EBUSY:
        case ETXTBSY:
            return QStringLiteral("el fichero está en uso");
        case ENAMETOOLONG:
            return QStringLiteral("el nombre es demasiado largo");
        case EMFILE:
        case ENFILE:
            return QStringLiteral("hay demasiados ficheros abiertos");
        case ENOMEM:
            return QStringLiteral("no hay memoria suficiente");
        case EFBIG:
            return QStringLiteral("el fichero es demasiado grande");
        case ESTALE:
            return QStringLiteral("el fichero de la unidad de red ya no existe");
        case EINTR:
            return QStringLiteral("la operación se ha interrumpido");
        default:
            return QStringLiteral("error %1 del sistema").arg(error);
    }
}

QString fileReason(const QFileDevice& file, int error) {
    if (error != 0) {
        return systemReason(error);
    }
    switch (file.error()) {
        case QFileDevice::NoError:
            break;
        case QFileDevice::ReadError:
            return QStringLiteral("no se puede leer");
        case QFileDevice::WriteError:
            return QStringLiteral("no se puede escribir");
        case QFileDevice::OpenError:
            return QStringLiteral("no se puede abrir");
        case QFileDevice::PermissionsError:
            return systemReason(EACCES);
        case QFileDevice::ResourceError:
            return QStringLiteral("faltan recursos del sistema (disco lleno o demasiados ficheros abiertos)");
        default:
            break;
    }
    return QStringLiteral("error del sistema");
}

}  // namespace vexilo::core
