// The release window's model and the changed words, without a display: the
// server's answer read into counts per program and rows per kind, what the
// guards make the user confirm, the outcome told after an apply, the release
// file checked before it is sent, and the words marked between two sources.
#include "DiferencaPalavras.h"
#include "LiberacaoDados.h"
#include "PreviaModelo.h"
#include "TClientDataSet.h"

#include <gtest/gtest.h>

using namespace trd;
using namespace trd::liberacao;

namespace {

QString junta(const QList<Trecho>& trechos)
{
    QString t;
    for (const Trecho& p : trechos)
        t += p.texto;
    return t;
}

QStringList doTipo(const QList<Trecho>& trechos, Trecho::Tipo tipo)
{
    QStringList r;
    for (const Trecho& p : trechos)
        if (p.tipo == tipo)
            r << p.texto;
    return r;
}

// ---- a preview's answer as the server writes it (docs/protocol.md, "Releases")

QString atributo(const QString& valor)
{
    return valor.toHtmlEscaped().replace(QLatin1Char('"'), QStringLiteral("&quot;"));
}

struct Resumo {
    QString idioma, programa;
    int vivas, mantidas, reescritas, movidas, novas, memoria, revividas, obsoletas;
    QString confirmar = QStringLiteral("N"), aviso = {};
    int lote = 0;
};

struct Detalhe {
    QString tipo, idioma, programa, componente, origem, progAnt, compAnt, origemAnt, texto, situacao = {};
    int similar = 0;
    QString memoria = QStringLiteral("N");
};

QByteArray pacote(const QList<Resumo>& resumos, const QList<Detalhe>& detalhes)
{
    QString x = QStringLiteral(
        R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?><DATAPACKET Version="2.0"><METADATA><FIELDS>)");
    for (const char* campo :
         {"TPLINHA", "IDIDIOMA", "CDPROGTRAD", "NMCOMPONENTE", "STAGRVALPROP", "CDPROGANT", "NMCOMPANT", "STAGRVALANT",
          "STVALORPROP", "IDSITTRADUCAO", "STMEMORIA", "STCONFIRMAR", "DSAVISO"})
        x += QStringLiteral(R"(<FIELD attrname="%1" fieldtype="string" WIDTH="4000"/>)").arg(QLatin1String(campo));
    for (const char* campo : {"NRSIMILAR", "NRVIVAS", "NRMANTIDAS", "NRREESCRITAS", "NRMOVIDAS", "NRNOVAS", "NRMEMORIA",
                              "NRREVIVIDAS", "NROBSOLETAS", "PCOBSOLETAS", "IDLOTE"})
        x += QStringLiteral(R"(<FIELD attrname="%1" fieldtype="r8"/>)").arg(QLatin1String(campo));
    x += QStringLiteral("</FIELDS><PARAMS/></METADATA><ROWDATA>");
    for (const Resumo& r : resumos) {
        const double pc = r.vivas ? 100.0 * r.obsoletas / r.vivas : 0;
        x +=
            QStringLiteral(
                R"(<ROW TPLINHA="S" IDIDIOMA="%1" CDPROGTRAD="%2" NMCOMPONENTE="" STAGRVALPROP="" CDPROGANT="" NMCOMPANT="" STAGRVALANT="" STVALORPROP="" IDSITTRADUCAO="" STMEMORIA="N" STCONFIRMAR="%3" DSAVISO="%4" NRSIMILAR="0" NRVIVAS="%5" NRMANTIDAS="%6" NRREESCRITAS="%7" NRMOVIDAS="%8" NRNOVAS="%9" NRMEMORIA="%10" NRREVIVIDAS="%11" NROBSOLETAS="%12" PCOBSOLETAS="%13" IDLOTE="%14"/>)")
                .arg(r.idioma, r.programa, r.confirmar, atributo(r.aviso))
                .arg(r.vivas)
                .arg(r.mantidas)
                .arg(r.reescritas)
                .arg(r.movidas)
                .arg(r.novas)
                .arg(r.memoria)
                .arg(r.revividas)
                .arg(r.obsoletas)
                .arg(pc, 0, 'f', 2)
                .arg(r.lote);
    }
    for (const Detalhe& d : detalhes)
        x +=
            QStringLiteral(
                R"(<ROW TPLINHA="%1" IDIDIOMA="%2" CDPROGTRAD="%3" NMCOMPONENTE="%4" STAGRVALPROP="%5" CDPROGANT="%6" NMCOMPANT="%7" STAGRVALANT="%8" STVALORPROP="%9" IDSITTRADUCAO="%10" STMEMORIA="%11" STCONFIRMAR="N" DSAVISO="" NRSIMILAR="%12" NRVIVAS="0" NRMANTIDAS="0" NRREESCRITAS="0" NRMOVIDAS="0" NRNOVAS="0" NRMEMORIA="0" NRREVIVIDAS="0" NROBSOLETAS="0" PCOBSOLETAS="0" IDLOTE="0"/>)")
                .arg(d.tipo, d.idioma, atributo(d.programa), atributo(d.componente), atributo(d.origem),
                     atributo(d.progAnt), atributo(d.compAnt), atributo(d.origemAnt), atributo(d.texto))
                .arg(d.situacao, d.memoria)
                .arg(d.similar);
    x += QStringLiteral("</ROWDATA></DATAPACKET>");
    return x.toUtf8();
}

const QString kAvisoEsp =
    QStringLiteral("A liberação tornaria obsoletas 50,00 % das linhas vivas de ESP (2 de 4; o limite é 30 %).");

// ENG: two programs, one row of each kind. ESP: half its rows would leave.
QByteArray previaDeExemplo(int loteEng = 0)
{
    return pacote(
        {
            {"ENG", "", 6, 1, 1, 1, 2, 1, 1, 1, "N", "", loteEng},
            {"ENG", "CAD01", 4, 1, 1, 0, 1, 0, 1, 1},
            {"ENG", "FAT02", 2, 0, 0, 1, 1, 1, 0, 0},
            {"ESP", "", 4, 2, 0, 0, 0, 0, 0, 2, "S", kAvisoEsp},
            {"ESP", "CAD01", 4, 2, 0, 0, 0, 0, 0, 2},
        },
        {
            {"R", "ENG", "CAD01", "btnSalvar", "Salvar o registro", "CAD01", "btnSalvar", "Salvar registro",
             "Save record", "D", 88},
            {"M", "ENG", "FAT02", "lblCliente", "Cliente", "CAD01", "lblCliente", "Cliente", "Customer", "D", 100},
            {"N", "ENG", "CAD01", "btnNovo", "Novo", "", "", "", "", "N"},
            {"N", "ENG", "FAT02", "btnFechar", "Fechar", "", "", "", "Close", "D", 100, "S"},
            {"V", "ENG", "CAD01", "btnVoltar", "Voltar", "", "", "", "Back", "T"},
            {"O", "ENG", "CAD01", "btnAntigo", "Antigo <velho>", "", "", "", "Old", "T"},
            {"O", "ESP", "CAD01", "a", "A", "", "", "", "", "N"},
            {"O", "ESP", "CAD01", "b", "B", "", "", "", "", "N"},
        });
}

} // namespace

// ====================================================================== the changed words

TEST(DiferencaPalavras, MarcaSoAsPalavrasQueMudaramDosDoisLados)
{
    const Diferenca inserida =
        DiferencaPalavras(QStringLiteral("Salvar registro"), QStringLiteral("Salvar o registro"));
    EXPECT_EQ(doTipo(inserida.antes, Trecho::Tipo::Saiu), QStringList());
    EXPECT_EQ(doTipo(inserida.depois, Trecho::Tipo::Entrou), QStringList{QStringLiteral("o ")});

    const Diferenca trocadas = DiferencaPalavras(QStringLiteral("Excluir o cliente selecionado?"),
                                                 QStringLiteral("Remover o cliente escolhido?"));
    EXPECT_EQ(doTipo(trocadas.antes, Trecho::Tipo::Saiu),
              (QStringList{QStringLiteral("Excluir"), QStringLiteral("selecionado")}));
    EXPECT_EQ(doTipo(trocadas.depois, Trecho::Tipo::Entrou),
              (QStringList{QStringLiteral("Remover"), QStringLiteral("escolhido")}));
    EXPECT_EQ(doTipo(trocadas.depois, Trecho::Tipo::Igual),
              (QStringList{QStringLiteral(" o cliente "), QStringLiteral("?")}));

    // A shortcut mark moved changes its word, and only it.
    const Diferenca atalho = DiferencaPalavras(QStringLiteral("&Salvar agora"), QStringLiteral("Sal&var agora"));
    EXPECT_EQ(doTipo(atalho.antes, Trecho::Tipo::Saiu), QStringList{QStringLiteral("&Salvar")});
    EXPECT_EQ(doTipo(atalho.depois, Trecho::Tipo::Entrou), QStringList{QStringLiteral("Sal&var")});

    // Identical texts have nothing marked; a text from nothing is all new.
    const Diferenca igual = DiferencaPalavras(QStringLiteral("Cliente: %1"), QStringLiteral("Cliente: %1"));
    EXPECT_EQ(igual.antes, (QList<Trecho>{{Trecho::Tipo::Igual, QStringLiteral("Cliente: %1")}}));
    const Diferenca doNada = DiferencaPalavras(QString(), QStringLiteral("Novo texto"));
    EXPECT_TRUE(doNada.antes.isEmpty());
    EXPECT_EQ(doTipo(doNada.depois, Trecho::Tipo::Entrou), QStringList{QStringLiteral("Novo texto")});
}

TEST(DiferencaPalavras, CadaLadoDevolveSeuTextoInteiroTambemOsLongos)
{
    const QList<std::pair<QString, QString>> pares = {
        {QStringLiteral("Linha um\nLinha dois"), QStringLiteral("Linha 1\r\nLinha dois!")},
        {QStringLiteral("  dois  espaços  "), QStringLiteral(" dois espaços")},
        {QStringLiteral("a,b;c.d"), QStringLiteral("a;b,c.d")},
        {QStringLiteral("Não há registros à exibir"), QStringLiteral("Não há registros a exibir")},
    };
    for (const auto& [antes, depois] : pares) {
        const Diferenca d = DiferencaPalavras(antes, depois);
        EXPECT_EQ(junta(d.antes), antes);
        EXPECT_EQ(junta(d.depois), depois);
        // What is kept is the same on both sides.
        EXPECT_EQ(doTipo(d.antes, Trecho::Tipo::Igual).join(QString()),
                  doTipo(d.depois, Trecho::Tipo::Igual).join(QString()))
            << antes.toStdString();
    }
    // Beyond the table's size the common start and end are still kept and
    // only the middle is marked; nothing is lost and nothing hangs.
    QString meioA, meioB;
    for (int i = 0; i < 2000; ++i) {
        meioA += QStringLiteral("a%1 ").arg(i);
        meioB += QStringLiteral("b%1 ").arg(i);
    }
    const QString antes = QStringLiteral("Início igual ") + meioA + QStringLiteral("fim igual");
    const QString depois = QStringLiteral("Início igual ") + meioB + QStringLiteral("fim igual");
    const Diferenca d = DiferencaPalavras(antes, depois);
    EXPECT_EQ(junta(d.antes), antes);
    EXPECT_EQ(junta(d.depois), depois);
    ASSERT_EQ(d.depois.size(), 3);
    EXPECT_EQ(d.depois.first().texto, QStringLiteral("Início igual "));
    EXPECT_EQ(d.depois.last().texto, QStringLiteral(" fim igual"));
    EXPECT_EQ(d.depois[1].tipo, Trecho::Tipo::Entrou);
}

TEST(DiferencaPalavras, OHtmlEscapaOTextoEMarcaOQueMudou)
{
    const Diferenca d =
        DiferencaPalavras(QStringLiteral("<b>Salvar</b> & sair\nagora"), QStringLiteral("<b>Gravar</b> & sair\nagora"));
    const QString antes = MarcadoEmHtml(d.antes);
    const QString depois = MarcadoEmHtml(d.depois);
    EXPECT_FALSE(antes.contains(QStringLiteral("<b>")));
    EXPECT_TRUE(antes.contains(QStringLiteral("&lt;b&gt;")));
    EXPECT_TRUE(antes.contains(QStringLiteral("line-through\">Salvar</span>")));
    EXPECT_TRUE(depois.contains(QStringLiteral("bold\">Gravar</span>")));
    EXPECT_FALSE(depois.contains(QStringLiteral("Salvar")));
    EXPECT_TRUE(depois.contains(QStringLiteral("sair\u21B5agora")));
}

// ====================================================================== the preview

TEST(PreviaLiberacao, LeAsContagensPorIdiomaEProgramaEAsLinhasPorTipo)
{
    const Previa p = LePrevia(previaDeExemplo());
    EXPECT_EQ(p.codigos(), (QStringList{QStringLiteral("ENG"), QStringLiteral("ESP")}));
    const Idioma* eng = p.idioma(QStringLiteral("ENG"));
    ASSERT_TRUE(eng);
    EXPECT_EQ(eng->total.vivas, 6);
    EXPECT_EQ(eng->total.alteradas(), 1 + 1 + 2 + 1 + 1);
    ASSERT_EQ(eng->programas.size(), 2);
    EXPECT_EQ(eng->programas[1].programa, QStringLiteral("FAT02"));
    EXPECT_EQ(eng->programas[1].movidas, 1);
    EXPECT_FALSE(eng->confirmar);
    EXPECT_TRUE(p.idioma(QStringLiteral("ESP"))->confirmar);
    EXPECT_TRUE(p.precisaConfirmar());

    EXPECT_EQ(p.linhasDe(QStringLiteral("ENG")).size(), 6);
    EXPECT_EQ(p.linhasDe(QStringLiteral("ENG"), {Tipo::Reescrita, Tipo::Movida}).size(), 2);
    EXPECT_EQ(p.linhasDe(QStringLiteral("ESP"), {Tipo::Obsoleta}).size(), 2);
    const Linha& memoria = p.linhas[p.linhasDe(QStringLiteral("ENG"), {Tipo::Nova})[1]];
    EXPECT_TRUE(memoria.daMemoria);
    EXPECT_EQ(memoria.texto, QStringLiteral("Close"));

    // A kind the window does not know is no row to show quietly.
    QByteArray estranho = previaDeExemplo();
    estranho.replace("TPLINHA=\"V\"", "TPLINHA=\"Z\"");
    EXPECT_THROW(LePrevia(estranho), Exception);
}

TEST(PreviaLiberacao, OsModelosMostramOIdiomaEscolhidoComAsMarcas)
{
    auto p = std::make_shared<const Previa>(LePrevia(previaDeExemplo()));
    ContagensModelo contagens;
    contagens.mostra(p, QStringLiteral("ENG"));
    ASSERT_EQ(contagens.rowCount(), 3);
    EXPECT_EQ(contagens.data(contagens.index(0, ContagensModelo::colPrograma)).toString(),
              QStringLiteral("Todos os programas"));
    EXPECT_EQ(contagens.data(contagens.index(1, ContagensModelo::colPrograma)).toString(), QStringLiteral("CAD01"));
    EXPECT_EQ(contagens.valor(0, ContagensModelo::colNovas), 2);
    EXPECT_EQ(contagens.valor(2, ContagensModelo::colDaMemoria), 1);
    EXPECT_EQ(contagens.valor(1, ContagensModelo::colObsoletas), 1);
    contagens.mostra(p, QStringLiteral("ESP"));
    EXPECT_EQ(contagens.rowCount(), 2);
    EXPECT_EQ(contagens.valor(0, ContagensModelo::colObsoletas), 2);
    contagens.mostra(p, QStringLiteral("XYZ"));
    EXPECT_EQ(contagens.rowCount(), 0);

    LinhasModelo linhas;
    linhas.mostra(p, QStringLiteral("ENG"), {Tipo::Reescrita, Tipo::Movida});
    ASSERT_EQ(linhas.rowCount(), 2);
    const auto celula = [&](int r, int c, int role = Qt::DisplayRole) {
        return linhas.data(linhas.index(r, c), role).toString();
    };
    EXPECT_EQ(celula(0, LinhasModelo::colTipo), QStringLiteral("Reescrita"));
    EXPECT_EQ(celula(0, LinhasModelo::colAnterior), QStringLiteral("Salvar registro"));
    EXPECT_EQ(celula(0, LinhasModelo::colNova), QStringLiteral("Salvar o registro"));
    EXPECT_EQ(celula(0, LinhasModelo::colSimilaridade), QStringLiteral("88 %"));
    EXPECT_TRUE(
        celula(0, LinhasModelo::colNova, LinhasModelo::MarcadoRole).contains(QStringLiteral("bold\">o </span>")));
    EXPECT_FALSE(
        celula(0, LinhasModelo::colAnterior, LinhasModelo::MarcadoRole).contains(QStringLiteral("line-through")));
    // A moved row says where from; its text is the same, nothing marked.
    EXPECT_EQ(celula(1, LinhasModelo::colPrograma), QStringLiteral("CAD01 \u2192 FAT02"));
    EXPECT_EQ(celula(1, LinhasModelo::colComponente), QStringLiteral("lblCliente"));
    EXPECT_FALSE(celula(1, LinhasModelo::colNova, LinhasModelo::MarcadoRole)
                     .contains(QStringLiteral("<span style=\"background")));

    // A row that leaves has only a previous source, escaped in the marks.
    linhas.mostra(p, QStringLiteral("ENG"), {Tipo::Obsoleta});
    ASSERT_EQ(linhas.rowCount(), 1);
    EXPECT_EQ(celula(0, LinhasModelo::colAnterior), QStringLiteral("Antigo <velho>"));
    EXPECT_EQ(celula(0, LinhasModelo::colNova), QString());
    EXPECT_TRUE(
        celula(0, LinhasModelo::colAnterior, LinhasModelo::MarcadoRole).contains(QStringLiteral("&lt;velho&gt;")));
    linhas.mostra(p, QStringLiteral("ENG"), {Tipo::Nova});
    EXPECT_EQ(celula(1, LinhasModelo::colTexto), QStringLiteral("Close (da memória)"));
}

TEST(PreviaLiberacao, AsGuardasPedemConfirmacaoEOResultadoDizOQueMudou)
{
    const Previa p = LePrevia(previaDeExemplo());
    const QString pedido = PedidoDeConfirmacao(p);
    EXPECT_TRUE(pedido.contains(kAvisoEsp)) << pedido.toStdString();
    EXPECT_FALSE(pedido.contains(QStringLiteral("ENG")));

    // An empty file trips the guard in every language with the same words: said once.
    const QString vazio = QStringLiteral(
        "O arquivo da liberação não tem nenhuma linha: aplicado, ele tornaria obsoletas todas as linhas.");
    const Previa semLinhas = LePrevia(
        pacote({{"ENG", "", 3, 0, 0, 0, 0, 0, 0, 3, "S", vazio}, {"ESP", "", 2, 0, 0, 0, 0, 0, 0, 2, "S", vazio}}, {}));
    EXPECT_EQ(PedidoDeConfirmacao(semLinhas).count(vazio), 1);

    const Previa tranquila = LePrevia(pacote({{"ENG", "", 3, 2, 1, 0, 0, 0, 0, 0}}, {}));
    EXPECT_FALSE(tranquila.precisaConfirmar());
    EXPECT_TRUE(PedidoDeConfirmacao(tranquila).isEmpty());

    const Previa aplicada = LePrevia(previaDeExemplo(57));
    const QString resumo = ResumoDoResultado(aplicada);
    EXPECT_TRUE(resumo.contains(QStringLiteral(
        "ENG: 1 reescrita, 1 movida, 2 novas, 1 revivida, 1 obsoleta (1 nova com o texto da memória); lote 57.")))
        << resumo.toStdString();
    EXPECT_TRUE(resumo.contains(QStringLiteral("ESP: 2 obsoletas.")));
    EXPECT_TRUE(resumo.contains(QStringLiteral("Lotes de Alterações")));
    const QString nada = ResumoDoResultado(tranquila);
    EXPECT_FALSE(nada.contains(QStringLiteral("ENG: nada mudou"))); // it has a reworded row
    EXPECT_TRUE(ResumoDoResultado(LePrevia(pacote({{"ENG", "", 3, 3, 0, 0, 0, 0, 0, 0}}, {})))
                    .contains(QStringLiteral("ENG: nada mudou (3 linhas mantidas).")));
}

TEST(PreviaLiberacao, OArquivoEConferidoAntesDeIrAoServidor)
{
    const Arquivo bom =
        LeArquivo(QByteArray("# liberação 7\r\nCAD01\tbtnSalvar\tSalvar o registro\r\n\r\nCAD01\tlblNome\tNome\n"));
    EXPECT_TRUE(bom.erro.isEmpty());
    EXPECT_EQ(bom.linhas, 2);
    EXPECT_TRUE(bom.texto.contains(QStringLiteral("liberação")));

    QByteArray ruim("CAD01\ta\tA\nCAD01\tb\tB\nCAD01\tc\tCora\xe7\xe3o\n"); // Windows-1252, not UTF-8
    const Arquivo lido = LeArquivo(ruim);
    EXPECT_TRUE(lido.texto.isEmpty());
    EXPECT_TRUE(lido.erro.contains(QStringLiteral("linha 3"))) << lido.erro.toStdString();
    EXPECT_TRUE(lido.erro.contains(QStringLiteral("Nada foi aplicado")));

    EXPECT_EQ(LeArquivo(QByteArray()).linhas, 0);
}

TEST(PreviaLiberacao, OFiltroFicaComAsReescritasDaUltimaLiberacaoEntreAsLinhas)
{
    QList<Origem> origens;
    const auto origem = [](const char* prog, const char* comp, const char* texto, Tipo tipo, bool ultima, int lote) {
        Origem o;
        o.programa = QString::fromUtf8(prog);
        o.componente = QString::fromUtf8(comp);
        o.origem = QString::fromUtf8(texto);
        o.tipo = tipo;
        o.ultima = ultima;
        o.lote = lote;
        o.origemAnterior = QStringLiteral("antes ") + o.origem;
        return o;
    };
    origens << origem("CAD01", "a", "A", Tipo::Reescrita, true, 9) << origem("CAD01", "b", "B", Tipo::Movida, true, 9)
            << origem("CAD01", "c", "C", Tipo::Nova, true, 9) // the memory's text: not a rewording
            << origem("CAD01", "d", "D", Tipo::Reescrita, false, 4); // an older release
    const QSet<QString> chaves = ReescritasDaUltima(origens);
    EXPECT_EQ(chaves.size(), 2);
    EXPECT_TRUE(chaves.contains(ChaveDaLinha(QStringLiteral("CAD01"), QStringLiteral("a"), QStringLiteral("A"))));
    EXPECT_TRUE(chaves.contains(ChaveDaLinha(QStringLiteral("CAD01"), QStringLiteral("b"), QStringLiteral("B"))));

    // Of a row released twice, the newer release tells its previous source.
    origens << origem("CAD01", "a", "A", Tipo::Reescrita, false, 3);
    EXPECT_EQ(
        PorChave(origens).value(ChaveDaLinha(QStringLiteral("CAD01"), QStringLiteral("a"), QStringLiteral("A"))).lote,
        9);

    TClientDataSet linhas;
    linhas.AddField(QStringLiteral("STAGRVALPROP"), TFieldType::ftString, 4000);
    linhas.AddField(QStringLiteral("STVALORPROP"), TFieldType::ftString, 4000);
    linhas.AddField(QStringLiteral("IDSITTRADUCAO"), TFieldType::ftString, 1);
    linhas.AddField(QStringLiteral("NMCOMPONENTE"), TFieldType::ftString, 50);
    linhas.AddField(QStringLiteral("CDPROGTRAD"), TFieldType::ftString, 20);
    linhas.CreateDataSet();
    for (const char* c : {"a", "b", "c", "d", "e"}) {
        linhas.Append();
        linhas.FieldByName(QStringLiteral("CDPROGTRAD"))->SetAsString(QStringLiteral("CAD01"));
        linhas.FieldByName(QStringLiteral("NMCOMPONENTE"))->SetAsString(QString::fromUtf8(c));
        linhas.FieldByName(QStringLiteral("STAGRVALPROP"))->SetAsString(QString::fromUtf8(c).toUpper());
        linhas.Post();
    }
    // Only "b" meets the criteria's answer besides "a": "a" is left out of it.
    linhas.First();
    linhas.Delete();
    const QList<ChaveLinha> entre = LinhasEntre(linhas, QStringLiteral("ENG"), chaves);
    ASSERT_EQ(entre.size(), 1);
    EXPECT_EQ(entre.first(),
              (ChaveLinha{QStringLiteral("ENG"), QStringLiteral("CAD01"), QStringLiteral("b"), QStringLiteral("B")}));
}
