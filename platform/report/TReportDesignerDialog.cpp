#include "DialogSeam.h"
#include "TReportDesignerDialog.h"

#include "ReportDesignerWindow.h"
#include "ReportError.h"
#include "ReportPreviewWindow.h"
#include "TApplication.h"
#include "TClientDataSet.h"
#include "TSocketConnection.h"

#include <QFileInfo>

namespace trd {

namespace {

inline const QString CatalogMethod = QStringLiteral("GetCatalogoRel");
inline const QString QueryMethod = QStringLiteral("GetConsultaRel");

// Runs the named queries on DefaultDatabaseName's remote object, putting the
// connection's own back afterwards.
class ServerNameScope {
public:
    ServerNameScope(TSocketConnection& c, const QString& name) : m_c(c), m_saved(c.ServerName)
    {
        if (!name.isEmpty())
            c.ServerName = name;
    }
    ~ServerNameScope() { m_c.ServerName = m_saved; }

private:
    TSocketConnection& m_c;
    QString m_saved;
};

QByteArray checked(const TServerResult& result, const QString& what)
{
    if (!result.Ok)
        throw EReportError(QStringLiteral("%1: %2").arg(
            what,
            result.ErrorMessage.isEmpty() ? QStringLiteral("o servidor recusou a consulta.") : result.ErrorMessage));
    return result.Packet;
}

} // namespace

TReportDesignerDialog::TReportDesignerDialog(QObject* owner) : QObject(owner)
{
}

TReportDesignerDialog::~TReportDesignerDialog() = default;

void TReportDesignerDialog::RegisterDataSet(TClientDataSet* dataSet, const QString& name)
{
    m_registered[name.isEmpty() ? dataSet->objectName() : name] = dataSet;
}

TClientDataSet* TReportDesignerDialog::FindDataSet(const QString& componentName) const
{
    for (const auto& [name, ds] : m_registered)
        if (ds && name.compare(componentName, Qt::CaseInsensitive) == 0)
            return ds;
    if (QObject* owner = parent())
        for (TClientDataSet* ds : owner->findChildren<TClientDataSet*>())
            if (ds->objectName().compare(componentName, Qt::CaseInsensitive) == 0)
                return ds;
    return nullptr;
}

QStringList TReportDesignerDialog::DataSetNames() const
{
    QStringList names;
    for (const auto& [name, ds] : m_registered)
        if (ds)
            names << name;
    if (QObject* owner = parent())
        for (TClientDataSet* ds : owner->findChildren<TClientDataSet*>())
            if (!ds->objectName().isEmpty() && !names.contains(ds->objectName(), Qt::CaseInsensitive))
                names << ds->objectName();
    names.sort(Qt::CaseInsensitive);
    return names;
}

TParams TReportDesignerDialog::DeclaredParams(const ReportDefinition& definition)
{
    TParams params;
    for (const ReportParameter& p : definition.parameters)
        params.CreateParam(p.type, p.name);
    return params;
}

std::unique_ptr<PreparedReport> TReportDesignerDialog::PrepareData(const ReportDefinition& definition)
{
    TParams params = DeclaredParams(definition);
    bool abort = false;
    if (BeforeGetQueryParams)
        BeforeGetQueryParams(this, params, abort);
    if (abort)
        return nullptr;
    // The server queries and the binding of a large table take a moment:
    // the hourglass meanwhile, the cursor before it afterwards.
    const HourGlass busy(Application()->Cursor());
    auto prepared = std::make_unique<PreparedReport>();
    for (const ReportSource& source : definition.sources)
        if (source.kind == ReportSource::Kind::Query)
            prepared->queryData.push_back(runQuery(source, params));
    prepared->params = std::move(params);
    return prepared;
}

std::unique_ptr<PreparedReport> TReportDesignerDialog::Prepare(const ReportDefinition& definition)
{
    std::unique_ptr<PreparedReport> prepared = PrepareData(definition);
    const HourGlass busy(Application()->Cursor());
    if (prepared)
        prepared->document = bindTables(definition, *prepared);
    return prepared;
}

std::unique_ptr<PreparedReport> TReportDesignerDialog::PrepareFile(const QString& fileName)
{
    return Prepare(ReadReportDefinition(fileName));
}

std::unique_ptr<PreparedReport> TReportDesignerDialog::Bind(const ReportDefinition& definition, const TParams& params)
{
    auto prepared = std::make_unique<PreparedReport>();
    for (const ReportSource& source : definition.sources)
        if (source.kind == ReportSource::Kind::Query)
            prepared->queryData.push_back(runQuery(source, params));
    prepared->params = params;
    prepared->document = bindTables(definition, *prepared);
    return prepared;
}

std::unique_ptr<ReportDocument> TReportDesignerDialog::bindTables(const ReportDefinition& definition,
                                                                  const PreparedReport& prepared) const
{
    std::map<QString, const TClientDataSet*> data;
    for (const ReportSource& source : definition.sources) {
        if (source.kind == ReportSource::Kind::DataSet) {
            TClientDataSet* ds = FindDataSet(source.target);
            if (!ds)
                throw EReportError(
                    QStringLiteral(
                        "A fonte de dados '%1' do relatório '%2' não existe: o diálogo não tem o conjunto de dados '%3'.")
                        .arg(source.name, definition.title, source.target));
            data[source.name] = ds;
        } else {
            for (const auto& q : prepared.queryData)
                if (q->objectName() == source.name)
                    data[source.name] = q.get();
        }
    }
    return std::make_unique<ReportDocument>(definition, prepared.params, data);
}

std::unique_ptr<TClientDataSet> TReportDesignerDialog::runQuery(const ReportSource& source, const TParams& params)
{
    if (!Connection)
        throw EReportError(
            QStringLiteral("A consulta '%1' precisa do servidor, mas o relatório não tem conexão.").arg(source.target));
    TRemoteArgs args;
    args.emplace_back(source.target);
    for (const QString& name : source.params) {
        const TParam& p = params.ParamByName(name);
        if (p.IsNull())
            throw EReportError(
                QStringLiteral("O parâmetro '%1' da consulta '%2' não recebeu valor.").arg(p.Name(), source.target));
        args.emplace_back(p.Name());
        switch (p.DataType()) {
        case TParamType::ftDate:
            args.emplace_back(TRemoteArg(p.AsDate()));
            break;
        case TParamType::ftDateTime:
            args.emplace_back(TRemoteArg(p.AsDateTime()));
            break;
        case TParamType::ftInteger:
            args.emplace_back(TRemoteArg(p.AsInteger()));
            break;
        case TParamType::ftFloat:
        case TParamType::ftString:
            args.emplace_back(p.AsString());
            break;
        }
    }
    ServerNameScope scope(*Connection, DefaultDatabaseName);
    QByteArray packet =
        checked(Connection->AppServer().Call(QueryMethod, args), QStringLiteral("Consulta '%1'").arg(source.target));
    auto ds = std::make_unique<TClientDataSet>();
    ds->setObjectName(source.name);
    ds->setProperty("query", source.target);
    ds->SetData(std::move(packet));
    return ds;
}

QList<ReportCatalogQuery> TReportDesignerDialog::Catalog()
{
    QList<ReportCatalogQuery> catalog;
    if (!Connection)
        return catalog;
    ServerNameScope scope(*Connection, DefaultDatabaseName);
    TClientDataSet ds;
    ds.SetData(checked(Connection->AppServer().Call(CatalogMethod, {}), QStringLiteral("Catálogo de consultas")));
    for (ds.First(); !ds.Eof(); ds.Next()) {
        ReportCatalogQuery q;
        q.name = ds.FieldByName(QStringLiteral("NMCONSULTA"))->AsString();
        q.description = ds.FieldByName(QStringLiteral("DSCONSULTA"))->AsString();
        for (const QString& item :
             ds.FieldByName(QStringLiteral("PARAMETROS"))->AsString().split(u';', Qt::SkipEmptyParts)) {
            ReportParameter p;
            p.name = item.section(u':', 0, 0);
            ParamTypeFromName(item.section(u':', 1, 1), p.type);
            q.params.append(p);
        }
        q.fields = ds.FieldByName(QStringLiteral("CAMPOS"))->AsString().split(u';', Qt::SkipEmptyParts);
        catalog.append(q);
    }
    return catalog;
}

bool TReportDesignerDialog::Preview(const QString& fileName)
{
    std::unique_ptr<PreparedReport> prepared = PrepareFile(fileName);
    if (!prepared)
        return false;
    auto* window = new ReportPreviewWindow(std::move(prepared));
    window->ShowModal();
    window->deleteLater();
    return true;
}

bool TReportDesignerDialog::Design(const QString& fileName, const QString& title, const QString& code)
{
    ReportDefinition definition;
    if (QFileInfo::exists(fileName)) {
        definition = ReadReportDefinition(fileName);
    } else {
        definition.title = title;
        definition.code = code;
    }
    auto* window = new ReportDesignerWindow(*this, std::move(definition), fileName);
    const bool saved = window->ShowModal() == mrOk;
    window->deleteLater();
    return saved;
}

} // namespace trd
