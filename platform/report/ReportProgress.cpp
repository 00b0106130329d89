#include "ReportProgress.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProgressDialog>

namespace trd {

struct ReportProgressDialog::Impl {
    QProgressDialog dialog;
    QElapsedTimer sinceEvents;
};

ReportProgressDialog::ReportProgressDialog(QWidget* parent, const QString& text) : d(std::make_unique<Impl>())
{
    d->dialog.setParent(parent, Qt::Dialog);
    d->dialog.setWindowTitle(QStringLiteral("Relatório"));
    d->dialog.setLabelText(text);
    d->dialog.setCancelButtonText(QStringLiteral("Cancelar"));
    d->dialog.setWindowModality(Qt::ApplicationModal);
    d->dialog.setMinimumDuration(400);
    d->dialog.setAutoClose(false);
    d->dialog.setAutoReset(false);
    d->sinceEvents.start();
}

ReportProgressDialog::~ReportProgressDialog() = default;

ReportProgress ReportProgressDialog::callback()
{
    return [this](int done, int total) {
        if (d->dialog.maximum() != total)
            d->dialog.setMaximum(total);
        d->dialog.setValue(done);
        // Events at most every 50 ms: enough for the button, cheap per page.
        if (d->sinceEvents.elapsed() > 50) {
            QApplication::processEvents();
            d->sinceEvents.restart();
        }
        m_cancelled = m_cancelled || d->dialog.wasCanceled();
        return !m_cancelled;
    };
}

} // namespace trd
