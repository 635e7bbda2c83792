#include "core/textoutcome.h"

namespace vexilo::core {

QString decisionName(Decision decision) {
    switch (decision) {
        case Decision::Keep:
            return QStringLiteral("mantener");
        case Decision::Append:
            return QStringLiteral("añadir");
        case Decision::Relink:
            return QStringLiteral("reenlazar");
        case Decision::Renumber:
            return QStringLiteral("renumerar");
        case Decision::Rewrite:
            return QStringLiteral("reescribir");
        case Decision::None:
            break;
    }
    return {};
}

QString passedOverText(PassedOver reason) {
    switch (reason) {
        case PassedOver::NoFeature:
            return QStringLiteral("Textos cuyo código no designa ninguna tabla");
        case PassedOver::Excluded:
            return QStringLiteral("Textos con código excluido en NoAsignar");
        case PassedOver::Centroid:
            return QStringLiteral("Textos con código de centroide (ftype=4)");
        case PassedOver::NoEntitynum:
            return QStringLiteral("Textos cuya tabla no tiene entitynum en MsCatalog");
        case PassedOver::NonNumericCode:
            return QStringLiteral("Textos con código no numérico");
        case PassedOver::FullLinks:
            return QStringLiteral("Textos con 255 enlaces, sin enlace nuevo");
        case PassedOver::EntitynumOutOfRange:
            return QStringLiteral("Textos con entitynum fuera de rango, sin enlace nuevo");
        case PassedOver::NoLinks:
            return QStringLiteral("Textos sin enlace a ninguna tabla");
        case PassedOver::MissingRecord:
            return QStringLiteral("Textos enlazados a un registro inexistente");
        case PassedOver::RecordWithoutText:
            return QStringLiteral("Textos enlazados a un registro sin texto");
        case PassedOver::None:
            break;
    }
    return {};
}

}  // namespace vexilo::core
