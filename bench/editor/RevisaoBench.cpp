// What a review mark costs the user (docs/users.md): a revisor marks 1,000
// rows one after another with the editor's key ("Marcar como Revisado"), each
// mark a durable write of the server, the grid's lamp and the move to the next
// row painted; beside it, in the same run, the floor: the same MarcaRevisao
// call made bare on a connection of its own, no editor around it. Against a
// real trd-server on loopback with a temporary SQLite database (no users: the
// caller is administrador and every call's rights are still checked).
//
//   bench_revisao [--benchmark_repetitions=3]   (TRD_BIN_DIR names the folder of trd-server)
#include "BenchHost.h"
#include "Cli_Trd09300.h"
#include "Dispatch.h"
#include "RevisaoDoEditor.h"
#include "RevisaoRegras.h"
#include "ServerCalls.h"
#include "TApplication.h"

#include <benchmark/benchmark.h>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <functional>
#include <utility>
#include <cstdio>
#include <memory>
#include <vector>

using namespace trd;

namespace {

constexpr int kLinhas = 1000;

double percentil(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[std::min(v.size() - 1, static_cast<std::size_t>(p * double(v.size() - 1) + 0.5))];
}

void contadores(benchmark::State& state, const std::vector<double>& ms)
{
    state.counters["p50_ms"] = percentil(ms, 0.5);
    state.counters["p99_ms"] = percentil(ms, 0.99);
}

struct Ambiente {
    QTemporaryDir dir;
    std::unique_ptr<bench::BenchHost> host;
    TfrmTraducao* form = nullptr;

    Ambiente()
    {
        const QString tsv = dir.filePath(QStringLiteral("revisao.tsv"));
        QFile f(tsv);
        if (!f.open(QIODevice::WriteOnly))
            return;
        f.write("L\tENG\tEnglish\tPOR\nL\tPOR\tPortuguese\tPOR\n");
        for (int i = 0; i < kLinhas; ++i)
            f.write(QStringLiteral("R\tENG\tTRD%1\tlblComponente%2\tTexto de origem número %3\tSource text %3\tT\n")
                        .arg(i / 50, 5, 10, QLatin1Char('0'))
                        .arg(i % 50, 2, 10, QLatin1Char('0'))
                        .arg(i)
                        .toUtf8());
        f.close();
        host = std::make_unique<bench::BenchHost>(tsv);
        if (!host->ok())
            return;
        IniProc();
        form = frmTraducao;
        form->cbbIdioma->setCurrentIndex(form->cbbIdioma->findText(QStringLiteral("ENG-English")));
        QApplication::processEvents();
        Dispatch([this] { form->sbtVerificarClick(form->sbtVerificar); });
        QApplication::processEvents();
        if (form->cdsDestino->RecordCount() != kLinhas) {
            std::fprintf(stderr, "loaded %d rows\n", form->cdsDestino->RecordCount());
            form = nullptr;
        }
    }
};

// The editor's key, row after row: the mark, its lamp, the move on, the repaints.
void BM_MarcarPeloEditor(benchmark::State& state, Ambiente& a)
{
    if (!a.form) {
        state.SkipWithError("no editor");
        return;
    }
    QAction* marcar = a.form->revisao->itemMarcar();
    TClientDataSet& linhas = *a.form->cdsDestino;
    linhas.First();
    QApplication::processEvents();
    std::vector<double> ms, gatilho;
    int falhas = 0;
    for (auto _ : state) {
        if (linhas.CurrentIndex() == linhas.RecordCount() - 1) {
            state.PauseTiming();
            linhas.First();
            QApplication::processEvents();
            state.ResumeTiming();
        }
        const int antes = linhas.CurrentIndex();
        QElapsedTimer t;
        t.start();
        marcar->trigger();
        gatilho.push_back(double(t.nsecsElapsed()) / 1e6);
        QApplication::processEvents();
        ms.push_back(double(t.nsecsElapsed()) / 1e6);
        if (linhas.CurrentIndex() != antes + 1 || revisao::MarcaDaLinha(linhas, antes).revisor.isEmpty())
            ++falhas;
    }
    contadores(state, ms);
    // The key's handler alone (the call, the row told, the move), before the repaints it asked for.
    state.counters["handler_p50_ms"] = percentil(gatilho, 0.5);
    state.counters["falhas"] = falhas;
    if (!a.host->seam.errors().isEmpty())
        state.SkipWithError(qPrintable(a.host->seam.errors().join('|')));
}

// For comparison, the same walk with the status button (a status the row does
// not have, so every click writes) and the move to the next row, repaints done.
void BM_SituacaoPeloBotao(benchmark::State& state, Ambiente& a)
{
    if (!a.form) {
        state.SkipWithError("no editor");
        return;
    }
    TClientDataSet& linhas = *a.form->cdsDestino;
    linhas.First();
    QApplication::processEvents();
    std::vector<double> ms;
    for (auto _ : state) {
        if (linhas.CurrentIndex() == linhas.RecordCount() - 1) {
            state.PauseTiming();
            linhas.First();
            QApplication::processEvents();
            state.ResumeTiming();
        }
        TButtonFlat* botao = linhas.FieldByName(QStringLiteral("IDSITTRADUCAO"))->AsString() == QLatin1String("T")
            ? a.form->sbtDuvida
            : a.form->sbtTrad;
        QElapsedTimer t;
        t.start();
        Dispatch([&] {
            botao->Click();
            linhas.Next();
        });
        QApplication::processEvents();
        ms.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    contadores(state, ms);
}

// The floor: the same durable mark, called bare on a connection of its own.
void BM_MarcaRevisaoCrua(benchmark::State& state, Ambiente& a)
{
    if (!a.form) {
        state.SkipWithError("no editor");
        return;
    }
    TSocketConnection c;
    c.Host = a.form->netTraducao->Host;
    c.Port = a.form->netTraducao->Port;
    c.ServerName = ServerNameTraducao;
    c.ThrowException = true;
    TClientDataSet& linhas = *a.form->cdsDestino;
    std::vector<double> ms;
    int i = 0;
    for (auto _ : state) {
        const int linha = i++ % linhas.RecordCount();
        const auto v = [&](const char* campo) {
            return linhas.ValueAt(linha, linhas.FieldByName(QString::fromLatin1(campo))->Index()).toString();
        };
        const QString idioma = v("IDIDIOMA"), tela = v("CDPROGTRAD"), comp = v("NMCOMPONENTE"),
                      origem = v("STAGRVALPROP"), destino = v("STVALORPROP"), situacao = v("IDSITTRADUCAO");
        QElapsedTimer t;
        t.start();
        const TServerResult r =
            c.AppServer().Call(metodo::MarcaRevisao, {idioma, tela, comp, origem, "S", destino, situacao});
        ms.push_back(double(t.nsecsElapsed()) / 1e6);
        if (!r.Ok) {
            state.SkipWithError(qPrintable(r.ErrorMessage));
            break;
        }
    }
    contadores(state, ms);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    {
        // Built after the application and gone before it.
        Ambiente a;
        for (auto [nome, corpo] : {std::pair{"BM_MarcarPeloEditor", &BM_MarcarPeloEditor},
                                   {"BM_MarcaRevisaoCrua", &BM_MarcaRevisaoCrua},
                                   {"BM_SituacaoPeloBotao", &BM_SituacaoPeloBotao}})
            benchmark::RegisterBenchmark(nome, corpo, std::ref(a))->Iterations(kLinhas)->Unit(benchmark::kMillisecond);
        benchmark::RunSpecifiedBenchmarks();
        if (a.form)
            a.form->close();
        QApplication::processEvents();
    }
    benchmark::Shutdown();
    return 0;
}
