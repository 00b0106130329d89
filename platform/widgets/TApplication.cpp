#include "TApplication.h"

#include <new>

#include "Exceptions.h"

#include <QApplication>
#include <QCursor>
#include <QMdiArea>

namespace trd {

TApplication::TApplication() = default;
TApplication::~TApplication() = default;

TApplication* Application()
{
    // Built on first use and kept for the life of the process, like the
    // framework's global Application.
    static TApplication instance;
    return &instance;
}

QWidget* TApplication::MainForm() const
{
    return m_mainForm;
}
void TApplication::SetMainForm(QWidget* form)
{
    m_mainForm = form;
}
QMdiArea* TApplication::MdiArea() const
{
    return m_mdiArea;
}
void TApplication::SetMdiArea(QMdiArea* area)
{
    m_mdiArea = area;
}

void TApplication::ProcessMessages()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void TApplication::PaintPending()
{
    if (QCoreApplication::instance())
        QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
}

void TApplication::SetCursor(TCursor cursor)
{
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        m_cursor = cursor;
        return;
    }
    // Only one override cursor of ours is ever on the stack, so crDefault
    // restores exactly what was there before the first busy cursor.
    if (m_cursor != crDefault)
        QGuiApplication::restoreOverrideCursor();
    m_cursor = cursor;
    switch (cursor) {
    case crDefault:
        break;
    case crHourGlass:
        QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
        break;
    case crSQLWait:
        QGuiApplication::setOverrideCursor(QCursor(Qt::BusyCursor));
        break;
    }
}

TApplication::TCursor TApplication::Cursor() const
{
    return m_cursor;
}

void TApplication::ShowException(const std::exception& error)
{
    if (const auto* own = dynamic_cast<const Exception*>(&error))
        Dialogs().ShowError(own->Message());
    else if (dynamic_cast<const std::bad_alloc*>(&error))
        Dialogs().ShowError(QStringLiteral("Memória insuficiente para concluir a operação."));
    else
        Dialogs().ShowError(QString::fromUtf8(error.what()));
}

void TApplication::HandleException()
{
    try {
        throw;
    } catch (const EAbort&) {
        // An abort is silent by definition.
    } catch (const std::exception& error) {
        ShowException(error);
    } catch (...) {
        Dialogs().ShowError(QStringLiteral("Erro inesperado."));
    }
}

DialogSeam& TApplication::Dialogs()
{
    if (m_seam)
        return *m_seam;
    if (!m_qtSeam)
        m_qtSeam = std::make_unique<QtDialogSeam>();
    return *m_qtSeam;
}

void TApplication::SetDialogSeam(DialogSeam* seam)
{
    m_seam = seam;
}

} // namespace trd
