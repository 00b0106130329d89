#pragma once
// The report designer dialog of a report form: runs report definitions
// (preview, print, PDF, CSV) and opens the designer on them. Before every run
// it raises BeforeGetQueryParams with exactly the parameters the report
// declares, so the form can fill them and load the data sets the report reads.
//
// Data sources of a report (docs/reports.md): a <dataset component="cdsX"/>
// names a TClientDataSet of the owner form by its component (object) name,
// or one registered with RegisterDataSet; a <query query="Name" params="..."/>
// runs a named query of the server's catalog on Connection, binding the
// listed parameters.
#include "ReportDocument.h"
#include "TParams.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <map>
#include <memory>
#include <vector>

class QWidget;

namespace trd {

class TClientDataSet;
class TSocketConnection;

// A report ready to show: its document and the data its server queries brought.
struct PreparedReport {
    std::vector<std::unique_ptr<TClientDataSet>> queryData; // destroyed after the document
    TParams params; // as the request left them
    std::unique_ptr<ReportDocument> document;
};

// A named query of the server's report catalog, as GetCatalogoRel lists it.
struct ReportCatalogQuery {
    QString name;
    QString description;
    QList<ReportParameter> params;
    QStringList fields;
};

class TReportDesignerDialog : public QObject {
    Q_OBJECT
public:
    // owner: the form whose client data sets reports may name.
    explicit TReportDesignerDialog(QObject* owner = nullptr);
    ~TReportDesignerDialog() override;

    // The remote object the named queries run on; empty: the connection's own.
    QString DefaultDatabaseName;
    // Serves the named server queries (the form's netQRDesign).
    TSocketConnection* Connection = nullptr;

    // The request for query parameters, raised before every run with the
    // report's declared parameters (all null). Setting abort to true (or
    // raising, e.g. through MensErro) abandons the run.
    std::function<void(QObject* sender, TParams& params, bool& abort)> BeforeGetQueryParams;

    // A data set reports may name besides the owner's children; name defaults
    // to its object name.
    void RegisterDataSet(TClientDataSet* dataSet, const QString& name = QString());
    // The owner's (or a registered) data set of that component name, or nullptr.
    TClientDataSet* FindDataSet(const QString& componentName) const;
    // Component names of the data sets a report can use (for the designer).
    QStringList DataSetNames() const;

    // The parameters a definition declares, without values.
    static TParams DeclaredParams(const ReportDefinition& definition);

    // Raises the parameter request, runs the report's server queries and binds
    // every table: nullptr when the request was aborted. Errors (unknown data
    // set or field, server refusals) raise with a message naming them.
    std::unique_ptr<PreparedReport> Prepare(const ReportDefinition& definition);
    std::unique_ptr<PreparedReport> PrepareFile(const QString& fileName);
    // The request and the server queries only, without binding tables (the
    // designer, whose tables may still be incomplete): document stays null.
    std::unique_ptr<PreparedReport> PrepareData(const ReportDefinition& definition);
    // Binds without raising the request (the designer's live preview): every
    // declared parameter is given as is.
    std::unique_ptr<PreparedReport> Bind(const ReportDefinition& definition, const TParams& params);

    // Runs a definition file into the preview window (modal). False when the
    // request for parameters was aborted.
    bool Preview(const QString& fileName);
    // Opens the designer on a definition file (creating it when it does not
    // exist, with the given title and code); true when the user saved.
    bool Design(const QString& fileName, const QString& title = QString(), const QString& code = QString());

    // The server's report query catalog (GetCatalogoRel); empty without a connection.
    QList<ReportCatalogQuery> Catalog();

private:
    std::unique_ptr<TClientDataSet> runQuery(const ReportSource& source, const TParams& params);
    std::unique_ptr<ReportDocument> bindTables(const ReportDefinition& definition,
                                               const PreparedReport& prepared) const;

    std::map<QString, QPointer<TClientDataSet>> m_registered;
};

} // namespace trd
