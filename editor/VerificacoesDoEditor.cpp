#include "VerificacoesDoEditor.h"

#include "CamposTraducao.h"
#include "DialogSeam.h"
#include "Exceptions.h"
#include "OrtografiaCelula.h"
#include "PainelVerificacoes.h"
#include "ServicosDoEditor.h"
#include "TCanvas.h"
#include "TClientDataSet.h"

#include <QChildEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QSettings>

#include <utility>

namespace trd {

VerificacoesDoEditor::VerificacoesDoEditor(ServicosDoEditor& editor)
    : QObject(editor.janela()), m_servicos(editor), m_linhas(&editor.linhas()), m_area(editor.areaDasCelulas()),
      m_painel(new PainelVerificacoes), m_verificacao(m_linhas)
{
    setObjectName(QStringLiteral("verificacoes"));
    editor.adicionaPainel(m_painel, ServicosDoEditor::Lugar::SobODetalhe);
    m_area->installEventFilter(this);
}

// A dictionary still opening is waited for by m_abrindo.
VerificacoesDoEditor::~VerificacoesDoEditor() = default;

void VerificacoesDoEditor::idiomaEscolhido(const QString& codigo)
{
    QSettings ajustes;
    const quality::SpellSettings configuracao = quality::SpellSettings::read(ajustes);
    const QString dicionario = configuracao.dictionaryFor(codigo);
    if (dicionario == m_dicionario && (m_ortografia || dicionario.isEmpty()))
        return;
    m_dicionario = dicionario;
    m_ortografia.reset();
    const int abertura = ++m_abertura;
    if (dicionario.isEmpty()) {
        emit ortografiaPronta();
        return;
    }
    auto aberto = std::make_shared<std::unique_ptr<quality::SpellChecker>>();
    m_abrindo.inicia([configuracao, codigo, aberto] { *aberto = quality::SpellChecker::open(configuracao, codigo); },
                     [this, aberto, abertura] {
                         if (abertura != m_abertura)
                             return; // another language was chosen meanwhile
                         m_ortografia = std::shared_ptr<quality::SpellChecker>(std::move(*aberto));
                         if (m_editor && m_ortografia)
                             new OrtografiaCelula(m_editor, m_ortografia);
                         emit ortografiaPronta();
                     });
}

bool VerificacoesDoEditor::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_area && event->type() == QEvent::ChildAdded) {
        // The in-place editor is being made; it is named and filled after this.
        QMetaObject::invokeMethod(
            this,
            [this] {
                QLineEdit* editor = m_servicos.celulaAberta();
                if (editor && editor != m_editor)
                    editorAberto(editor);
            },
            Qt::QueuedConnection);
    }
    return QObject::eventFilter(watched, event);
}

void VerificacoesDoEditor::editorAberto(QLineEdit* editor)
{
    m_editor = editor;
    connect(editor, &QLineEdit::textChanged, this, [this](const QString& texto) { mostraAchados(texto); });
    connect(editor, &QObject::destroyed, this, [this] { mostraAchados(std::nullopt); });
    if (m_ortografia)
        new OrtografiaCelula(editor, m_ortografia);
    mostraAchados(editor->text());
}

void VerificacoesDoEditor::mostraAchados(const std::optional<QString>& digitado)
{
    if (!m_painel)
        return;
    if (!m_linhas->Active() || m_linhas->IsEmpty()) {
        m_painel->limpa();
        return;
    }
    m_painel->mostra(m_verificacao.achados(m_linhas->CurrentIndex(), digitado));
}

void VerificacoesDoEditor::linhaAtualMudou()
{
    // While a cell is being typed in, what it holds is the destination.
    if (m_editor && m_servicos.celulaAberta() == m_editor)
        mostraAchados(m_editor->text());
    else
        mostraAchados(std::nullopt);
}

void VerificacoesDoEditor::confirmaGravacao()
{
    const bool execucao = m_servicos.substituindo();
    if (!execucao)
        m_respostaDaExecucao.reset();
    const int linha = m_linhas->CurrentIndex();
    const QVariant anterior = m_linhas->FieldByName(NMDESTINO)->OldValue();
    m_destinoMudou = !anterior.isValid() || anterior.toString() != m_linhas->FieldByName(NMDESTINO)->AsString();
    const quality::Findings erros = m_verificacao.errosNovos(linha, anterior.toString());
    if (erros.isEmpty())
        return;
    // In a replace-all run the first answer stands for the run's other rows
    // with a new erro; rows without one are saved as usual.
    if (execucao && m_respostaDaExecucao) {
        if (!*m_respostaDaExecucao)
            Abort();
        return;
    }
    const QString pergunta = execucao
        ? PerguntaGravarComErrosNaExecucao(erros, m_linhas->FieldByName(NMORIGEM)->AsString(),
                                           m_linhas->FieldByName(NMPROGRAMA)->AsString(),
                                           m_linhas->FieldByName(NMCOMPONENTE)->AsString())
        : PerguntaGravarComErros(erros);
    const bool sim = MessageDlg(pergunta, mtConfirmation, mbYes | mbNo, 0) == mrYes;
    if (execucao)
        m_respostaDaExecucao = sim;
    if (!sim)
        Abort();
    m_verificacao.confirmada(linha);
}

void VerificacoesDoEditor::linhaGravada()
{
    m_verificacao.linhaGravada(m_linhas->CurrentIndex());
    linhaAtualMudou();
    // A conflict ends or starts on other rows of the program too, but only
    // when the row's text changed: a status or a review mark leaves every
    // other row's mark as it was, and the grid repaints the row itself.
    if (std::exchange(m_destinoMudou, true))
        m_servicos.repintaLinhas();
}

void VerificacoesDoEditor::linhaAlterada(int linha)
{
    m_verificacao.linhaGravada(linha);
    if (linha == m_linhas->CurrentIndex())
        linhaAtualMudou();
    m_servicos.repintaLinhas();
}

void VerificacoesDoEditor::linhasMudaram()
{
    m_verificacao.linhasMudaram();
    linhaAtualMudou();
}

void VerificacoesDoEditor::pintaMarca(TCanvas& canvas, const QRect& celula)
{
    QPainter* p = canvas.Painter();
    if (!p)
        return;
    const std::optional<quality::Severity> pior = m_verificacao.pior(m_linhas->ActiveRecord());
    if (!pior)
        return;
    // A corner of the cell, as a spreadsheet marks a note: the status colour
    // of the text and the lamp stay as they are.
    const int lado = qMin(8, celula.height() / 2);
    QPainterPath canto;
    canto.moveTo(celula.right() - lado + 1, celula.top());
    canto.lineTo(celula.right() + 1, celula.top());
    canto.lineTo(celula.right() + 1, celula.top() + lado);
    canto.closeSubpath();
    p->save();
    p->setRenderHint(QPainter::Antialiasing);
    p->fillPath(canto, *pior == quality::Severity::Erro ? QColor(220, 0, 0) : QColor(230, 140, 0));
    p->restore();
}

} // namespace trd
