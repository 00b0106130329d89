#pragma once
// The step and the bar an exchange dialog shows while its job runs, following
// the runner's progress: a job that does not know its total turns the bar
// into a busy one.
class QLabel;
class QProgressBar;
class QWidget;

namespace trd {

class ExchangeRunner;

struct ProgressoDaTroca {
    QLabel* etapa; // lblEtapa
    QProgressBar* barra; // pgbProgresso
};

ProgressoDaTroca CriaProgresso(QWidget* dialogo, const ExchangeRunner& runner);

// Cancel pressed while the job runs: the job is asked to stop (the dialog
// stays until it has) and the step says so. False when no job runs.
bool CancelaSeRodando(ExchangeRunner& runner, QLabel* etapa);

} // namespace trd
