// Writing a report definition in the format the reader takes, attributes at
// their defaults left out so that saved files stay short and readable.
#include "ReportDefinition.h"

#include "ReportError.h"

#include <QSaveFile>
#include <QXmlStreamWriter>

namespace trd {

namespace {

QString alignName(Qt::Alignment align)
{
    if (align & Qt::AlignRight)
        return QStringLiteral("right");
    if (align & Qt::AlignHCenter)
        return QStringLiteral("center");
    return QStringLiteral("left");
}

QString totalName(ReportTotal total)
{
    switch (total) {
    case ReportTotal::Sum:
        return QStringLiteral("sum");
    case ReportTotal::Count:
        return QStringLiteral("count");
    case ReportTotal::Average:
        return QStringLiteral("avg");
    case ReportTotal::None:
        break;
    }
    return {};
}

QString sizeName(QPageSize::PageSizeId size)
{
    switch (size) {
    case QPageSize::A3:
        return QStringLiteral("A3");
    case QPageSize::A5:
        return QStringLiteral("A5");
    case QPageSize::Letter:
        return QStringLiteral("Letter");
    case QPageSize::Legal:
        return QStringLiteral("Legal");
    default:
        return QStringLiteral("A4");
    }
}

QString num(double v)
{
    return QString::number(v, 'g', 10);
}

void writeBand(QXmlStreamWriter& w, const char* name, const ReportBand& band)
{
    w.writeEmptyElement(QLatin1String(name));
    w.writeAttribute(QStringLiteral("left"), band.left);
    w.writeAttribute(QStringLiteral("center"), band.center);
    w.writeAttribute(QStringLiteral("right"), band.right);
    if (!band.present)
        w.writeAttribute(QStringLiteral("visible"), QStringLiteral("false"));
}

void writeTable(QXmlStreamWriter& w, const ReportTable& t)
{
    w.writeStartElement(QStringLiteral("table"));
    w.writeAttribute(QStringLiteral("name"), t.name);
    w.writeAttribute(QStringLiteral("source"), t.source);
    if (t.main)
        w.writeAttribute(QStringLiteral("main"), QStringLiteral("true"));
    if (!t.groupField.isEmpty()) {
        w.writeAttribute(QStringLiteral("group"), t.groupField);
        if (!t.groupTitle.isEmpty())
            w.writeAttribute(QStringLiteral("group-title"), t.groupTitle);
        if (!t.subtotals)
            w.writeAttribute(QStringLiteral("subtotals"), QStringLiteral("false"));
    }
    if (!t.grandTotal)
        w.writeAttribute(QStringLiteral("grand-total"), QStringLiteral("false"));
    if (t.fontPt != 9)
        w.writeAttribute(QStringLiteral("font-size"), num(t.fontPt));
    for (const ReportSortKey& k : t.sort) {
        w.writeEmptyElement(QStringLiteral("sort"));
        w.writeAttribute(QStringLiteral("field"), k.field);
        if (k.descending)
            w.writeAttribute(QStringLiteral("order"), QStringLiteral("desc"));
    }
    for (const ReportColumn& c : t.columns) {
        w.writeEmptyElement(QStringLiteral("column"));
        w.writeAttribute(QStringLiteral("field"), c.field);
        w.writeAttribute(QStringLiteral("title"), c.title);
        w.writeAttribute(QStringLiteral("width"), num(c.widthMm));
        if (!(c.align & Qt::AlignLeft))
            w.writeAttribute(QStringLiteral("align"), alignName(c.align));
        if (!c.format.isEmpty())
            w.writeAttribute(QStringLiteral("format"), c.format);
        if (c.total != ReportTotal::None)
            w.writeAttribute(QStringLiteral("total"), totalName(c.total));
    }
    w.writeEndElement();
}

} // namespace

QByteArray WriteReportDefinition(const ReportDefinition& def)
{
    QByteArray out;
    QXmlStreamWriter w(&out);
    w.setAutoFormatting(true);
    w.setAutoFormattingIndent(2);
    w.writeStartDocument();
    w.writeStartElement(QStringLiteral("report"));
    w.writeAttribute(QStringLiteral("version"), QString::number(ReportFormatVersion));
    w.writeAttribute(QStringLiteral("title"), def.title);
    if (!def.code.isEmpty())
        w.writeAttribute(QStringLiteral("code"), def.code);

    w.writeEmptyElement(QStringLiteral("page"));
    w.writeAttribute(QStringLiteral("size"), sizeName(def.page.size));
    w.writeAttribute(QStringLiteral("orientation"),
                     def.page.orientation == QPageLayout::Landscape ? QStringLiteral("landscape")
                                                                    : QStringLiteral("portrait"));
    const QMarginsF& m = def.page.marginsMm;
    w.writeAttribute(QStringLiteral("margins"),
                     QStringLiteral("%1 %2 %3 %4").arg(num(m.left()), num(m.top()), num(m.right()), num(m.bottom())));
    writeBand(w, "header", def.header);
    writeBand(w, "footer", def.footer);

    if (!def.parameters.isEmpty()) {
        w.writeStartElement(QStringLiteral("parameters"));
        for (const ReportParameter& p : def.parameters) {
            w.writeEmptyElement(QStringLiteral("parameter"));
            w.writeAttribute(QStringLiteral("name"), p.name);
            w.writeAttribute(QStringLiteral("type"), ParamTypeName(p.type));
        }
        w.writeEndElement();
    }
    if (!def.sources.isEmpty()) {
        w.writeStartElement(QStringLiteral("sources"));
        for (const ReportSource& s : def.sources) {
            if (s.kind == ReportSource::Kind::DataSet) {
                w.writeEmptyElement(QStringLiteral("dataset"));
                w.writeAttribute(QStringLiteral("name"), s.name);
                w.writeAttribute(QStringLiteral("component"), s.target);
            } else {
                w.writeEmptyElement(QStringLiteral("query"));
                w.writeAttribute(QStringLiteral("name"), s.name);
                w.writeAttribute(QStringLiteral("query"), s.target);
                if (!s.params.isEmpty())
                    w.writeAttribute(QStringLiteral("params"), s.params.join(u' '));
            }
        }
        w.writeEndElement();
    }

    w.writeStartElement(QStringLiteral("body"));
    for (const ReportElement& e : def.body) {
        if (const auto* t = std::get_if<ReportText>(&e)) {
            w.writeStartElement(QStringLiteral("text"));
            if (t->fontPt != 10)
                w.writeAttribute(QStringLiteral("size"), num(t->fontPt));
            if (t->bold)
                w.writeAttribute(QStringLiteral("bold"), QStringLiteral("true"));
            if (!(t->align & Qt::AlignLeft))
                w.writeAttribute(QStringLiteral("align"), alignName(t->align));
            w.writeCharacters(t->text);
            w.writeEndElement();
        } else if (const auto* t = std::get_if<ReportTable>(&e)) {
            writeTable(w, *t);
        } else if (const auto* c = std::get_if<ReportChart>(&e)) {
            w.writeEmptyElement(QStringLiteral("chart"));
            w.writeAttribute(QStringLiteral("table"), c->table);
            w.writeAttribute(QStringLiteral("value"), c->valueField);
            if (!c->title.isEmpty())
                w.writeAttribute(QStringLiteral("title"), c->title);
            if (c->heightMm != 70)
                w.writeAttribute(QStringLiteral("height"), num(c->heightMm));
        }
    }
    w.writeEndElement();
    w.writeEndElement();
    w.writeEndDocument();
    return out;
}

void SaveReportDefinition(const ReportDefinition& definition, const QString& fileName)
{
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly) || file.write(WriteReportDefinition(definition)) < 0 || !file.commit())
        throw EReportError(QStringLiteral("Não foi possível gravar a definição de relatório '%1': %2.")
                               .arg(fileName, file.errorString()));
}

} // namespace trd
