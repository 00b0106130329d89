#pragma once
// Base of the report dialogs: the general dialog plus the report choice
// (panRelat with cbbReportNames and the report code lblCodRel), the buttons
// that run, design, create and delete reports, a second catalog of report
// messages, the report designer dialog rpddPadrao and the connection netQRDesign
// that serves the server's named report queries.
//
// Reports are definition files "<code>_<name>.xml" in the reports folder
// (ReportsFolder: the environment variable TRD_REPORTS_DIR, else the setting
// "Relatorios/Diretorio", else "relatorios" beside the program); the list
// shows those of the dialog's report code.
// A derived dialog answers rpddPadrao->BeforeGetQueryParams and owns the
// client data sets its reports name (docs/reports.md).
#include "TButtonFlat.h"
#include "TNetConnection.h"
#include "TReportDesignerDialog.h"
#include "TfrmRotiGeral.h"

#include <QComboBox>

namespace trd {

class TfrmDadosGerRel : public TfrmRotiGeral {
    Q_OBJECT
public:
    explicit TfrmDadosGerRel(QWidget* parent = nullptr);

    QFrame* panRelat;
    QComboBox* cbbReportNames; // titles of the reports; item data: the file
    QLabel* lblCodRel; // the report code, e.g. "TRD093"
    TButtonFlat* sbtExecRel; // run the chosen report (preview)
    TButtonFlat* sbtEditRel; // open it in the designer
    TButtonFlat* sbtNovoRel; // create a report
    TButtonFlat* sbtExclRel; // delete the chosen report
    TMessages* msgMensagens; // the base's report messages (defaults of the report texts)
    TNetConnection* netQRDesign;
    TReportDesignerDialog* rpddPadrao;

    // Where report definitions live: $TRD_REPORTS_DIR when set and not empty,
    // else the client setting ReportsFolderKey, else the folder "relatorios"
    // in programFolder when there is one (where the build and an installation
    // put the shipped reports); empty when none of them gives a folder.
    static QString ReportsFolder(const QString& programFolder);
    QString ReportsFolder() const { return ReportsFolder(programFolder()); }
    static inline const QString ReportsFolderKey = QStringLiteral("Relatorios/Diretorio");
    static inline const QString ReportsFolderEnv = QStringLiteral("TRD_REPORTS_DIR");
    static inline const QString ReportsSubfolder = QStringLiteral("relatorios");

    // Fills cbbReportNames with the reports of lblCodRel's code (the list
    // shows "REG_NULL" when the folder is not set). Keeps the chosen file
    // when it is still there. FormCreate calls it; so does a derived dialog
    // after setting lblCodRel.
    void LoadReportNames();
    // The chosen report's file ("" when none chosen).
    QString SelectedReportFile() const;

    void FormCreate(QObject* sender) override;
    void sbtConfirmaClick(QObject* sender) override; // runs the chosen report

    // The button actions. Each refuses with "REG_NULL" when the folder is not
    // set; running, editing and deleting refuse with "Arq_Rel_Err" when the
    // chosen report's file is missing.
    virtual void sbtExecRelClick(QObject* sender);
    virtual void sbtEditRelClick(QObject* sender);
    virtual void sbtNovoRelClick(QObject* sender);
    virtual void sbtExclRelClick(QObject* sender);

protected:
    // The program's own folder, where the shipped reports sit in "relatorios".
    virtual QString programFolder() const;
    // "REG_NULL" and what to do about it: the variable, the setting and its
    // file, the folder looked for beside the program.
    QString folderNotSetMessage() const;
    // A catalog text: the derived dialog's msgPadrao first, then msgMensagens.
    QString reportMsg(const QString& key) const;
    // The folder, or MensErro("REG_NULL").
    QString requireFolder() const;
    // The chosen report's file, or MensErro("Arq_Rel_Err") with code and folder.
    QString requireReportFile() const;
    // Asks the new report's title ("NovoCaption", "NovoPrompt"); empty when cancelled.
    virtual QString askNewTitle();
};

} // namespace trd
