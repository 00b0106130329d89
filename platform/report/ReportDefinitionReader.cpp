// Reading a report definition file: a strict reader that names the file and
// the line of whatever it cannot accept, so a hand-edited definition fails
// with a message its author can act on.
#include "ReportDefinition.h"

#include "ReportError.h"
#include "ReportVariables.h"

#include <QFile>
#include <QRegularExpression>
#include <QXmlStreamReader>

namespace trd {

namespace {

class Reader {
public:
    Reader(const QByteArray& xml, const QString& fileName)
        : m_xml(xml), m_file(fileName), m_empty(xml.trimmed().isEmpty())
    {
    }

    ReportDefinition read();

private:
    [[noreturn]] void fail(const QString& what, qint64 line = -1) const
    {
        throw EReportError(QStringLiteral("Definição de relatório inválida em '%1', linha %2: %3")
                               .arg(m_file)
                               .arg(line >= 0 ? line : m_xml.lineNumber())
                               .arg(what));
    }
    int line() const { return static_cast<int>(m_xml.lineNumber()); }
    QString attr(const char* name) const { return m_xml.attributes().value(QLatin1String(name)).toString(); }
    bool has(const char* name) const { return m_xml.attributes().hasAttribute(QLatin1String(name)); }
    QString required(const char* name) const;
    double number(const char* name, double fallback, double min, double max) const;
    bool boolean(const char* name, bool fallback) const;
    Qt::Alignment alignment(const char* name) const;
    void checkAttributes(std::initializer_list<const char*> allowed) const;
    bool nextChild(); // the next child element of the current one; false at its end
    void skipToEnd() { m_xml.skipCurrentElement(); }

    void readPage(ReportDefinition& def);
    ReportBand readBand();
    void readParameters(ReportDefinition& def);
    void readSources(ReportDefinition& def);
    void readBody(ReportDefinition& def);
    ReportTable readTable();
    void validate(ReportDefinition& def);

    // The parser's own words, after ours: the XML is malformed.
    [[noreturn]] void failXml() const { fail(QStringLiteral("XML malformado (%1).").arg(m_xml.errorString())); }

    QXmlStreamReader m_xml;
    QString m_file;
    bool m_empty;
};

QString Reader::required(const char* name) const
{
    const QString value = attr(name).trimmed();
    if (value.isEmpty())
        fail(QStringLiteral("o elemento <%1> precisa do atributo \"%2\".")
                 .arg(m_xml.name().toString(), QLatin1String(name)));
    return value;
}

double Reader::number(const char* name, double fallback, double min, double max) const
{
    if (!has(name))
        return fallback;
    bool ok = false;
    const double v = attr(name).trimmed().toDouble(&ok);
    if (!ok || v < min || v > max)
        fail(QStringLiteral("o atributo \"%1\" deve ser um número entre %2 e %3, não \"%4\".")
                 .arg(QLatin1String(name))
                 .arg(min)
                 .arg(max)
                 .arg(attr(name)));
    return v;
}

bool Reader::boolean(const char* name, bool fallback) const
{
    if (!has(name))
        return fallback;
    const QString v = attr(name).trimmed().toLower();
    if (v == u"true" || v == u"1" || v == u"yes")
        return true;
    if (v == u"false" || v == u"0" || v == u"no")
        return false;
    fail(QStringLiteral("o atributo \"%1\" deve ser true ou false, não \"%2\".").arg(QLatin1String(name), attr(name)));
}

Qt::Alignment Reader::alignment(const char* name) const
{
    const QString v = attr(name).trimmed().toLower();
    if (v.isEmpty() || v == u"left")
        return Qt::AlignLeft;
    if (v == u"right")
        return Qt::AlignRight;
    if (v == u"center")
        return Qt::AlignHCenter;
    fail(QStringLiteral("alinhamento \"%1\" desconhecido (use left, center ou right).").arg(attr(name)));
}

void Reader::checkAttributes(std::initializer_list<const char*> allowed) const
{
    for (const QXmlStreamAttribute& a : m_xml.attributes()) {
        bool known = false;
        for (const char* name : allowed)
            known = known || a.name() == QLatin1String(name);
        if (!known)
            fail(QStringLiteral("atributo \"%1\" desconhecido em <%2>.")
                     .arg(a.name().toString(), m_xml.name().toString()));
    }
}

bool Reader::nextChild()
{
    while (!m_xml.atEnd()) {
        const auto token = m_xml.readNext();
        if (token == QXmlStreamReader::StartElement)
            return true;
        if (token == QXmlStreamReader::EndElement)
            return false;
        if (token == QXmlStreamReader::Characters && !m_xml.isWhitespace())
            fail(QStringLiteral("texto inesperado \"%1\".").arg(m_xml.text().toString().trimmed().left(40)));
    }
    if (m_xml.hasError())
        failXml();
    return false;
}

ReportDefinition Reader::read()
{
    ReportDefinition def;
    if (m_empty)
        fail(QStringLiteral("o arquivo está vazio."), 1);
    if (!m_xml.readNextStartElement()) {
        if (m_xml.hasError())
            failXml();
        fail(QStringLiteral("o arquivo não tem o elemento <report>."));
    }
    if (m_xml.name() != u"report")
        fail(QStringLiteral("esperado o elemento <report>, encontrado <%1>.").arg(m_xml.name().toString()));
    checkAttributes({"version", "title", "code"});
    if (!has("version"))
        fail(QStringLiteral("falta o número de versão do formato (version=\"%1\").").arg(ReportFormatVersion));
    bool ok = false;
    def.version = attr("version").toInt(&ok);
    if (!ok || def.version < 1 || def.version > ReportFormatVersion)
        fail(QStringLiteral("versão do formato \"%1\" não suportada (esta versão lê até a %2).")
                 .arg(attr("version"))
                 .arg(ReportFormatVersion));
    def.title = attr("title");
    def.code = attr("code").trimmed();

    bool sawBody = false;
    while (nextChild()) {
        const auto name = m_xml.name();
        if (name == u"page")
            readPage(def);
        else if (name == u"header")
            def.header = readBand();
        else if (name == u"footer")
            def.footer = readBand();
        else if (name == u"parameters")
            readParameters(def);
        else if (name == u"sources")
            readSources(def);
        else if (name == u"body") {
            readBody(def);
            sawBody = true;
        } else
            fail(QStringLiteral("elemento <%1> desconhecido em <report>.").arg(name.toString()));
    }
    if (m_xml.hasError())
        failXml();
    if (!sawBody)
        fail(QStringLiteral("falta o elemento <body>."));
    // Anything after the root element is an error too.
    while (!m_xml.atEnd()) {
        m_xml.readNext();
        if (m_xml.hasError())
            failXml();
    }
    validate(def);
    return def;
}

void Reader::readPage(ReportDefinition& def)
{
    checkAttributes({"size", "orientation", "margins"});
    const QString size = attr("size").trimmed().toUpper();
    if (size.isEmpty() || size == u"A4")
        def.page.size = QPageSize::A4;
    else if (size == u"A3")
        def.page.size = QPageSize::A3;
    else if (size == u"A5")
        def.page.size = QPageSize::A5;
    else if (size == u"LETTER")
        def.page.size = QPageSize::Letter;
    else if (size == u"LEGAL")
        def.page.size = QPageSize::Legal;
    else
        fail(QStringLiteral("tamanho de página \"%1\" desconhecido (A3, A4, A5, Letter, Legal).").arg(attr("size")));
    const QString orientation = attr("orientation").trimmed().toLower();
    if (orientation.isEmpty() || orientation == u"portrait")
        def.page.orientation = QPageLayout::Portrait;
    else if (orientation == u"landscape")
        def.page.orientation = QPageLayout::Landscape;
    else
        fail(QStringLiteral("orientação \"%1\" desconhecida (portrait ou landscape).").arg(attr("orientation")));
    if (has("margins")) {
        const QStringList parts =
            attr("margins").split(QRegularExpression(QStringLiteral("[\\s,;]+")), Qt::SkipEmptyParts);
        QList<double> mm;
        for (const QString& p : parts) {
            bool ok = false;
            const double v = p.toDouble(&ok);
            if (!ok || v < 0 || v > 100)
                fail(QStringLiteral("margem \"%1\" inválida (milímetros, de 0 a 100).").arg(p));
            mm.append(v);
        }
        if (mm.size() == 1)
            def.page.marginsMm = QMarginsF(mm[0], mm[0], mm[0], mm[0]);
        else if (mm.size() == 4)
            def.page.marginsMm = QMarginsF(mm[0], mm[1], mm[2], mm[3]);
        else
            fail(QStringLiteral("as margens são um valor ou quatro (esquerda, topo, direita, base)."));
    }
    skipToEnd();
}

ReportBand Reader::readBand()
{
    checkAttributes({"left", "center", "right", "visible"});
    ReportBand band{attr("left"), attr("center"), attr("right"), boolean("visible", true)};
    skipToEnd();
    return band;
}

void Reader::readParameters(ReportDefinition& def)
{
    while (nextChild()) {
        if (m_xml.name() != u"parameter")
            fail(QStringLiteral("elemento <%1> desconhecido em <parameters>.").arg(m_xml.name().toString()));
        checkAttributes({"name", "type"});
        ReportParameter p;
        p.name = required("name");
        const QString type = attr("type").isEmpty() ? QStringLiteral("string") : attr("type");
        if (!ParamTypeFromName(type, p.type))
            fail(QStringLiteral("tipo de parâmetro \"%1\" desconhecido (string, date, datetime, float, integer).")
                     .arg(type));
        for (const ReportParameter& other : def.parameters)
            if (other.name.compare(p.name, Qt::CaseInsensitive) == 0)
                fail(QStringLiteral("o parâmetro \"%1\" foi declarado duas vezes.").arg(p.name));
        def.parameters.append(p);
        skipToEnd();
    }
}

void Reader::readSources(ReportDefinition& def)
{
    while (nextChild()) {
        ReportSource s;
        s.line = line();
        if (m_xml.name() == u"dataset") {
            checkAttributes({"name", "component"});
            s.kind = ReportSource::Kind::DataSet;
            s.target = required("component");
            s.name = attr("name").trimmed().isEmpty() ? s.target : attr("name").trimmed();
        } else if (m_xml.name() == u"query") {
            checkAttributes({"name", "query", "params"});
            s.kind = ReportSource::Kind::Query;
            s.target = required("query");
            s.name = attr("name").trimmed().isEmpty() ? s.target : attr("name").trimmed();
            s.params = attr("params").split(QRegularExpression(QStringLiteral("[\\s,;]+")), Qt::SkipEmptyParts);
        } else {
            fail(QStringLiteral("elemento <%1> desconhecido em <sources> (dataset ou query).")
                     .arg(m_xml.name().toString()));
        }
        if (def.findSource(s.name))
            fail(QStringLiteral("a fonte de dados \"%1\" foi declarada duas vezes.").arg(s.name));
        def.sources.append(s);
        skipToEnd();
    }
}

ReportTable Reader::readTable()
{
    checkAttributes({"name", "source", "group", "group-title", "subtotals", "grand-total", "main", "font-size"});
    ReportTable t;
    t.line = line();
    t.source = required("source");
    t.name = attr("name").trimmed();
    t.groupField = attr("group").trimmed();
    t.groupTitle = attr("group-title");
    t.subtotals = boolean("subtotals", true);
    t.grandTotal = boolean("grand-total", true);
    t.main = boolean("main", false);
    t.fontPt = number("font-size", 9, 4, 36);
    while (nextChild()) {
        if (m_xml.name() == u"column") {
            checkAttributes({"field", "title", "width", "align", "format", "total"});
            ReportColumn c;
            c.field = required("field");
            c.title = has("title") ? attr("title") : c.field;
            c.widthMm = number("width", 30, 1, 1000);
            c.align = alignment("align");
            c.format = attr("format");
            const QString total = attr("total").trimmed().toLower();
            if (total.isEmpty() || total == u"none")
                c.total = ReportTotal::None;
            else if (total == u"sum")
                c.total = ReportTotal::Sum;
            else if (total == u"count")
                c.total = ReportTotal::Count;
            else if (total == u"avg" || total == u"average")
                c.total = ReportTotal::Average;
            else
                fail(QStringLiteral("total \"%1\" desconhecido (sum, count, avg).").arg(attr("total")));
            t.columns.append(c);
        } else if (m_xml.name() == u"sort") {
            checkAttributes({"field", "order"});
            ReportSortKey k;
            k.field = required("field");
            const QString order = attr("order").trimmed().toLower();
            if (order == u"desc")
                k.descending = true;
            else if (!order.isEmpty() && order != u"asc")
                fail(QStringLiteral("ordem \"%1\" desconhecida (asc ou desc).").arg(attr("order")));
            t.sort.append(k);
        } else {
            fail(
                QStringLiteral("elemento <%1> desconhecido em <table> (column ou sort).").arg(m_xml.name().toString()));
        }
        skipToEnd();
    }
    if (t.columns.isEmpty())
        fail(QStringLiteral("a tabela não tem colunas."), t.line);
    return t;
}

void Reader::readBody(ReportDefinition& def)
{
    int tables = 0;
    while (nextChild()) {
        const auto name = m_xml.name();
        if (name == u"text") {
            checkAttributes({"size", "bold", "align"});
            ReportText t;
            t.line = line();
            t.fontPt = number("size", 10, 4, 72);
            t.bold = boolean("bold", false);
            t.align = alignment("align");
            t.text = m_xml.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement);
            if (m_xml.error() == QXmlStreamReader::UnexpectedElementError)
                fail(QStringLiteral("<text> contém apenas texto, sem elementos."));
            if (m_xml.hasError())
                failXml();
            def.body.emplace_back(t);
        } else if (name == u"table") {
            ReportTable t = readTable();
            if (t.name.isEmpty())
                t.name = QStringLiteral("tabela%1").arg(++tables);
            if (def.findTable(t.name))
                fail(QStringLiteral("a tabela \"%1\" foi declarada duas vezes.").arg(t.name), t.line);
            def.body.emplace_back(t);
        } else if (name == u"chart") {
            checkAttributes({"table", "value", "title", "height"});
            ReportChart c;
            c.line = line();
            c.table = required("table");
            c.valueField = required("value");
            c.title = attr("title");
            c.heightMm = number("height", 70, 20, 250);
            def.body.emplace_back(c);
            skipToEnd();
        } else {
            fail(QStringLiteral("elemento <%1> desconhecido em <body> (text, table ou chart).").arg(name.toString()));
        }
    }
}

void Reader::validate(ReportDefinition& def)
{
    QStringList names;
    for (const ReportParameter& p : def.parameters)
        names.append(p.name);
    for (const ReportSource& s : def.sources)
        for (const QString& p : s.params)
            if (!names.contains(p, Qt::CaseInsensitive))
                fail(QStringLiteral(
                         "a consulta \"%1\" envia o parâmetro \"%2\", que o relatório não declara em <parameters>.")
                         .arg(s.name, p),
                     s.line);
    auto checkVars = [&](const QString& text, int at, bool band) {
        const QString unknown = UnknownVariable(text, names, band);
        if (!unknown.isEmpty())
            fail(QStringLiteral("variável {%1} desconhecida: não é parâmetro declarado nem variável do relatório.")
                     .arg(unknown),
                 at);
    };
    for (const ReportBand* band : {&def.header, &def.footer})
        for (const QString* slot : {&band->left, &band->center, &band->right})
            checkVars(*slot, 1, true);
    for (const ReportElement& e : def.body) {
        if (const auto* t = std::get_if<ReportText>(&e)) {
            checkVars(t->text, t->line, false);
        } else if (const auto* t = std::get_if<ReportTable>(&e)) {
            if (!def.findSource(t->source))
                fail(QStringLiteral("a tabela \"%1\" usa a fonte de dados \"%2\", que não está declarada em <sources>.")
                         .arg(t->name, t->source),
                     t->line);
        } else if (const auto* c = std::get_if<ReportChart>(&e)) {
            const ReportTable* table = def.findTable(c->table);
            if (!table)
                fail(QStringLiteral("o gráfico usa a tabela \"%1\", que não existe.").arg(c->table), c->line);
            if (table->groupField.isEmpty())
                fail(QStringLiteral("o gráfico mostra os grupos da tabela \"%1\", que não é agrupada.").arg(c->table),
                     c->line);
        }
    }
}

} // namespace

const ReportSource* ReportDefinition::findSource(const QString& name) const
{
    for (const ReportSource& s : sources)
        if (s.name.compare(name, Qt::CaseInsensitive) == 0)
            return &s;
    return nullptr;
}

const ReportTable* ReportDefinition::findTable(const QString& name) const
{
    for (const ReportElement& e : body)
        if (const auto* t = std::get_if<ReportTable>(&e); t && t->name.compare(name, Qt::CaseInsensitive) == 0)
            return t;
    return nullptr;
}

const ReportTable* ReportDefinition::mainTable() const
{
    const ReportTable* first = nullptr;
    for (const ReportElement& e : body)
        if (const auto* t = std::get_if<ReportTable>(&e)) {
            if (t->main)
                return t;
            if (!first)
                first = t;
        }
    return first;
}

ReportDefinition ParseReportDefinition(const QByteArray& xml, const QString& fileName)
{
    return Reader(xml, fileName).read();
}

ReportDefinition ReadReportDefinition(const QString& fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw EReportError(QStringLiteral("Não foi possível abrir a definição de relatório '%1': %2.")
                               .arg(fileName, file.errorString()));
    return ParseReportDefinition(file.readAll(), fileName);
}

} // namespace trd
