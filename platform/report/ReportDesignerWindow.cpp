#include "ReportDesignerWindow.h"

#include "DialogSeam.h"
#include "TReportDesignerDialog.h"

namespace trd {

ReportDesignerWindow::ReportDesignerWindow(TReportDesignerDialog& dialog, ReportDefinition definition,
                                           QString fileName, QWidget* parent)
    : TForm(parent), m_dialog(dialog), m_def(std::move(definition)), m_fileName(std::move(fileName))
{
    SetCaption(QStringLiteral("Editor de relatório - %1").arg(m_def.title));
}

ReportDesignerWindow::~ReportDesignerWindow() = default;

void ReportDesignerWindow::Save()
{
    SaveReportDefinition(m_def, m_fileName);
    SetModalResult(mrOk);
}

} // namespace trd
