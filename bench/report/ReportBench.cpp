// Times a grouped table report over a large data set: what the user waits
// for before the preview shows its first page, and for the whole PDF, beside
// floors measured in the same run (reading every cell; writing a PDF of as
// many pages holding one line each), and the memory the run needs.
#include "DataPacket.h"
#include "ReportDefinition.h"
#include "ReportDocument.h"
#include "TClientDataSet.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>

#include <cstdio>
#include <fstream>
#include <string>

using namespace trd;

namespace {

QByteArray packet(int rows)
{
    QByteArray out;
    PacketWriter writer(out);
    std::vector<PacketField> fields(5);
    const char* names[] = {"CDPROGTRAD", "NMCOMPONENTE", "STVALORPROP", "IDSITTRADUCAO", "NRCARACTER"};
    for (int i = 0; i < 5; ++i)
        fields[static_cast<std::size_t>(i)].name = names[i];
    fields[0].size = 20;
    fields[1].size = 50;
    fields[2].size = 4000;
    fields[3].size = 1;
    fields[4].type = TFieldType::ftFloat;
    writer.begin(fields);
    const char* status[] = {"T", "D", "N"};
    for (int i = 0; i < rows; ++i) {
        writer.beginRow();
        writer.string(0, QStringLiteral("TRD%1").arg(i % 97, 5, 10, QLatin1Char('0')));
        writer.string(1, QStringLiteral("componente%1").arg(i));
        writer.string(2, QStringLiteral("Translated screen text number %1 of the program").arg(i));
        writer.string(3, std::string_view(status[i % 3]));
        writer.real(4, 20 + i % 40);
        writer.endRow();
    }
    writer.end();
    return out;
}

const char* Definition = R"(<?xml version="1.0" encoding="UTF-8"?>
<report version="1" title="Linhas por tela">
  <parameters><parameter name="P_IDIDIOMA"/></parameters>
  <sources><dataset name="linhas" component="cdsLinhas"/></sources>
  <body>
    <text bold="true">Idioma {P_IDIDIOMA}</text>
    <table name="t" source="linhas" group="CDPROGTRAD" group-title="Tela: " main="true">
      <sort field="NMCOMPONENTE"/>
      <column field="NMCOMPONENTE" title="Componente" width="40"/>
      <column field="STVALORPROP" title="Tradução" width="90"/>
      <column field="IDSITTRADUCAO" title="Sit." width="10" align="center" total="count"/>
      <column field="NRCARACTER" title="Caracteres" width="25" align="right" format="#,##0" total="sum"/>
    </table>
    <chart table="t" value="NRCARACTER" title="Caracteres por tela"/>
  </body>
</report>
)";

double ms(const QElapsedTimer& t)
{
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

long vmKb(const char* key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0)
            return std::stol(line.substr(std::string(key).size()));
    return -1;
}

void run(int rows, const QTemporaryDir& dir)
{
    std::printf("--- %d rows\n", rows);
    TClientDataSet data;
    data.SetData(packet(rows));
    const long rssData = vmKb("VmRSS:");

    QElapsedTimer t;
    t.start();
    double sink = 0;
    for (int r = 0; r < rows; ++r)
        for (int f = 0; f < 5; ++f)
            sink += data.ValueAt(r, f).isValid();
    std::printf("floor: read every cell once            %9.1f ms (%.0f cells)\n", ms(t), sink);

    t.restart();
    ReportDefinition def = ParseReportDefinition(Definition, QStringLiteral("bench.xml"));
    TParams params;
    params.CreateParam(TParamType::ftString, QStringLiteral("P_IDIDIOMA")).SetAsString(QStringLiteral("ENG"));
    const double parse = ms(t);
    t.restart();
    ReportDocument doc(def, params, {{QStringLiteral("linhas"), &data}});
    const double bind = ms(t);
    t.restart();
    const QImage first = doc.renderPage(0, 96);
    const double paint = ms(t);
    std::printf("read definition                        %9.1f ms\n", parse);
    std::printf("bind (sort, groups, totals) and pages  %9.1f ms (%d pages)\n", bind, doc.pageCount());
    std::printf("paint first page at 100 %%              %9.1f ms\n", paint);
    std::printf("FIRST PREVIEW PAGE                     %9.1f ms\n", parse + bind + paint);

    const QString floorPdf = dir.filePath(QStringLiteral("floor.pdf"));
    t.restart();
    {
        QPdfWriter writer(floorPdf);
        writer.setResolution(1200);
        QPainter p(&writer);
        for (int i = 0; i < doc.pageCount(); ++i) {
            if (i > 0)
                writer.newPage();
            p.drawText(QPointF(1000, 1000), QStringLiteral("Página %1").arg(i + 1));
        }
    }
    std::printf("floor: PDF of %5d pages, one line each %9.1f ms\n", doc.pageCount(), ms(t));

    const QString pdf = dir.filePath(QStringLiteral("report.pdf"));
    int calls = 0;
    t.restart();
    doc.exportPdf(pdf, [&](int, int) {
        ++calls;
        return true;
    });
    std::printf("WHOLE PDF                              %9.1f ms (%lld KB, %d progress calls)\n", ms(t),
                static_cast<long long>(QFile(pdf).size() / 1024), calls);
    t.restart();
    doc.exportCsv(dir.filePath(QStringLiteral("report.csv")));
    std::printf("CSV of the main table                  %9.1f ms\n", ms(t));
    std::printf("memory: RSS with the data %ld MB, peak RSS of the run %ld MB\n", rssData / 1024,
                vmKb("VmHWM:") / 1024);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    if (argc > 1)
        for (int i = 1; i < argc; ++i)
            run(std::atoi(argv[i]), dir);
    else
        run(10000, dir);
    return 0;
}
