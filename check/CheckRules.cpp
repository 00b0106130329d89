#include "CheckRules.h"

namespace trd::check {

QString untranslatedReason(QStringView status, QStringView source, QStringView destination)
{
    if (status == u"N")
        return QStringLiteral("Não traduzido.");
    if (destination.trimmed().isEmpty() && !source.trimmed().isEmpty())
        return QStringLiteral("Tradução vazia.");
    return {};
}

} // namespace trd::check
