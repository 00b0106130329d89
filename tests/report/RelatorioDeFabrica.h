#pragma once
// A report shipped with the module (relatorios/ beside the binaries) printed
// as the report dialog prints it, for language ENG, from a real trd-server
// seeded with the test's rows, and read back from its PDF.
#include "RecordingDialogSeam.h"
#include "ReportTestKit.h"
#include "TfrmDadosGerRel.h"
#include "TrdServerProcess.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace trd::test {

class RelatorioDeFabrica : public TfrmDadosGerRel {
public:
    RelatorioDeFabrica() { lblCodRel->setText(QStringLiteral("TRD093")); }
};

// `texto`: the PDF's text, blanks folded. The printing shows no error. Wrap
// the call in ASSERT_NO_FATAL_FAILURE.
inline void imprimeRelatorioDeFabrica(const char* linhas, const char* arquivo, QString& texto)
{
    QTemporaryDir dir;
    TrdServerProcess::Options options;
    options.importTsv = WriteFile(dir, QStringLiteral("rows.tsv"), linhas);
    TrdServerProcess server(options);
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    RecordingDialogSeam seam;

    std::unique_ptr<RelatorioDeFabrica> form(CreateForm<RelatorioDeFabrica>());
    form->netQRDesign->Host = server.host();
    form->netQRDesign->Port = server.port();
    form->rpddPadrao->BeforeGetQueryParams = [](QObject*, TParams& p, bool&) {
        p.ParamByName(QStringLiteral("P_IDIDIOMA")).SetAsString(QStringLiteral("ENG"));
    };
    const QString definition = QDir(qEnvironmentVariable("TRD_BIN_DIR"))
                                   .filePath(QStringLiteral("relatorios/") + QString::fromLatin1(arquivo));
    auto prepared = form->rpddPadrao->PrepareFile(definition);
    ASSERT_TRUE(prepared && prepared->document) << seam.errors().join(u'\n').toStdString();

    const QString pdf = dir.filePath(QStringLiteral("relatorio.pdf"));
    ASSERT_TRUE(prepared->document->exportPdf(pdf));
    texto = PdfText(pdf).simplified();
    EXPECT_TRUE(seam.errors().isEmpty()) << seam.errors().join(u'\n').toStdString();
}

// Each of `pecas` in `texto`, in their order.
inline void esperaEmOrdem(const QString& texto, const QStringList& pecas)
{
    qsizetype from = 0;
    for (const QString& peca : pecas) {
        const qsizetype at = texto.indexOf(peca, from);
        EXPECT_GE(at, 0) << peca.toStdString() << "\nin\n" << texto.toStdString();
        if (at >= 0)
            from = at + peca.size();
    }
}

} // namespace trd::test
