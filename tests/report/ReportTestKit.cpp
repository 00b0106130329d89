#include "ReportTestKit.h"

#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

namespace trd::test {

namespace {

QByteArray escape(const QString& v)
{
    QByteArray s = v.toUtf8();
    s.replace("&", "&amp;").replace("\"", "&quot;").replace("<", "&lt;").replace(">", "&gt;");
    return s;
}

QByteArray packet(const std::vector<FieldSpec>& fields, const std::vector<QStringList>& rows)
{
    QByteArray xml =
        R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?><DATAPACKET Version="2.0"><METADATA><FIELDS>)";
    for (const FieldSpec& f : fields) {
        xml += "<FIELD attrname=\"" + QByteArray(f.name) + "\" fieldtype=\"" + f.type + "\"";
        if (f.width > 0)
            xml += " WIDTH=\"" + QByteArray::number(f.width) + "\"";
        xml += "/>";
    }
    xml += "</FIELDS><PARAMS/></METADATA><ROWDATA>";
    for (const QStringList& row : rows) {
        xml += "<ROW";
        for (std::size_t i = 0; i < fields.size() && i < static_cast<std::size_t>(row.size()); ++i)
            if (!row[static_cast<qsizetype>(i)].isNull())
                xml += " " + QByteArray(fields[i].name) + "=\"" + escape(row[static_cast<qsizetype>(i)]) + "\"";
        xml += "/>";
    }
    return xml + "</ROWDATA></DATAPACKET>";
}

} // namespace

void LoadRows(TClientDataSet& dataSet, const std::vector<FieldSpec>& fields, const std::vector<QStringList>& rows)
{
    dataSet.SetData(packet(fields, rows));
}

std::unique_ptr<TClientDataSet> MakeDataSet(const std::vector<FieldSpec>& fields, const std::vector<QStringList>& rows,
                                            const QString& name, QObject* owner)
{
    auto ds = std::make_unique<TClientDataSet>(owner);
    ds->setObjectName(name);
    LoadRows(*ds, fields, rows);
    return ds;
}

QString WriteFile(const QTemporaryDir& dir, const QString& name, const QByteArray& text)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
    return path;
}

QString PdfText(const QString& pdfPath)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"),
            {QStringLiteral("-layout"), QStringLiteral("-enc"), QStringLiteral("UTF-8"), pdfPath, QStringLiteral("-")});
    EXPECT_TRUE(p.waitForFinished(60000)) << "pdftotext did not finish";
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().constData();
    return QString::fromUtf8(p.readAllStandardOutput());
}

QStringList PdfPages(const QString& pdfPath)
{
    QStringList pages = PdfText(pdfPath).split(QChar(0x0C));
    if (!pages.isEmpty() && pages.last().trimmed().isEmpty())
        pages.removeLast();
    return pages;
}

} // namespace trd::test
