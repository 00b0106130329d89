#include "OfertaDesfazer.h"

#include "DialogSeam.h"
#include "HistoricoDoEditor.h"
#include "HistoricoGlyphs.h"
#include "HistoricoRegras.h"
#include "TButtonFlat.h"
#include "TraducaoRegras.h"

#include <QHBoxLayout>
#include <QLabel>

namespace trd::historico {

namespace {

// The rows an undo left alone, named for a message: at most ten, then how
// many more.
QString mantidas(const Desfazimento& d)
{
    QString texto;
    int listadas = 0;
    for (const LinhaDesfeita& l : d.linhas) {
        if (l.desfeita)
            continue;
        if (listadas++ == 10) {
            texto += QStringLiteral("\n  ... e mais %1").arg(d.mantidas() - 10);
            break;
        }
        texto += QStringLiteral("\n  %1 / %2 (\"%3\"): %4")
                     .arg(l.programa, l.componente, traducao::TextoEmUmaLinha(l.origem).left(40), l.motivo);
    }
    return texto;
}

} // namespace

OfertaDesfazer::OfertaDesfazer(QWidget* parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("panOferta"));
    setFrameShape(QFrame::StyledPanel);
    setFixedHeight(32);
    auto* linha = new QHBoxLayout(this);
    linha->setContentsMargins(8, 2, 4, 2);
    lblOferta = new QLabel(this);
    lblOferta->setObjectName(QStringLiteral("lblOferta"));
    lblOferta->setTextFormat(Qt::PlainText);
    linha->addWidget(lblOferta, 1);
    sbtDesfazer = new TButtonFlat(this);
    sbtDesfazer->setObjectName(QStringLiteral("sbtDesfazer"));
    sbtDesfazer->SetGlyph(historicoglyphs::Desfazer());
    sbtDesfazer->setText(QStringLiteral("Desfazer"));
    sbtDesfazer->SetHint(QStringLiteral("Desfazer esta substituição"));
    sbtDesfazer->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    sbtDesfazer->setFixedSize(96, 26);
    sbtDesfazer->setFocusPolicy(Qt::TabFocus);
    sbtDesfazer->OnClick = [this](QObject* sender) { sbtDesfazerClick(sender); };
    linha->addWidget(sbtDesfazer);
    QFrame::setVisible(false);
}

void OfertaDesfazer::Oferece(qint64 lote, int linhas, bool completa)
{
    m_lote = lote;
    lblOferta->setText(TextoDaOferta(linhas, completa));
    mostra(true);
}

void OfertaDesfazer::Retira()
{
    m_lote = 0;
    mostra(false);
}

void OfertaDesfazer::mostra(bool visivel)
{
    if (isVisibleTo(window()) == visivel)
        return;
    // The dialog keeps its designed size; the offer adds its own line.
    QWidget* janela = window();
    const QSize tamanho = janela->size();
    const int altura = height() + 4;
    QFrame::setVisible(visivel);
    janela->setFixedSize(tamanho.width(), tamanho.height() + (visivel ? altura : -altura));
}

void OfertaDesfazer::sbtDesfazerClick(QObject*)
{
    if (m_lote == 0)
        return;
    const qint64 lote = m_lote;
    Desfazimento feito;
    try {
        feito = DesfazNoEditor(lote, false);
    } catch (...) {
        Retira(); // refused (undone meanwhile from the batches window, say): nothing left to offer
        throw;
    }
    Retira();
    MessageDlg(QStringLiteral("Substituição desfeita: ") + ResumoDesfazimento(feito) + mantidas(feito), mtInformation,
               mbOK);
}

} // namespace trd::historico
