#pragma once
// The report designer: title, page, data source, columns, sort, groups,
// totals and chart of a report, with a live preview, saved as a definition file.
#include "ReportDefinition.h"
#include "TForm.h"

namespace trd {

class TReportDesignerDialog;

class ReportDesignerWindow : public TForm {
    Q_OBJECT
public:
    ReportDesignerWindow(TReportDesignerDialog& dialog, ReportDefinition definition, QString fileName,
                         QWidget* parent = nullptr);
    ~ReportDesignerWindow() override;

    const ReportDefinition& Definition() const { return m_def; }
    // Writes the definition to its file and closes with mrOk.
    void Save();

private:
    TReportDesignerDialog& m_dialog;
    ReportDefinition m_def;
    QString m_fileName;
};

} // namespace trd
