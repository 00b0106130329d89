#include "ProgressoDaTroca.h"

#include "ExchangeRunner.h"

#include <QLabel>
#include <QProgressBar>

namespace trd {

ProgressoDaTroca CriaProgresso(QWidget* dialogo, const ExchangeRunner& runner)
{
    auto* etapa = new QLabel(dialogo);
    etapa->setObjectName(QStringLiteral("lblEtapa"));
    auto* barra = new QProgressBar(dialogo);
    barra->setObjectName(QStringLiteral("pgbProgresso"));
    barra->setRange(0, 1);
    barra->setValue(0);
    QObject::connect(&runner, &ExchangeRunner::progress, etapa,
                     [etapa, barra](const QString& step, qint64 done, qint64 total) {
                         etapa->setText(step);
                         barra->setRange(0, total > 0 ? static_cast<int>(total) : 0);
                         if (total > 0)
                             barra->setValue(static_cast<int>(done));
                     });
    return {etapa, barra};
}

bool CancelaSeRodando(ExchangeRunner& runner, QLabel* etapa)
{
    if (!runner.running())
        return false;
    etapa->setText(QStringLiteral("Cancelando..."));
    runner.cancel();
    return true;
}

} // namespace trd
