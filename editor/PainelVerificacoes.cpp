#include "PainelVerificacoes.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>

namespace trd {

PainelVerificacoes::PainelVerificacoes(QWidget* parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("panVerificacoes"));
    setFrameShape(QFrame::StyledPanel);
    // Three lines of findings; more scroll.
    setFixedHeight(3 * fontMetrics().lineSpacing() + 10);
    auto* titulo = new QLabel(QStringLiteral("Verificações:"), this);
    titulo->setObjectName(QStringLiteral("lblTituloVerificacoes"));
    QFont negrito = titulo->font();
    negrito.setBold(true);
    titulo->setFont(negrito);
    titulo->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    lblVerificacoes = new QLabel(this);
    lblVerificacoes->setObjectName(QStringLiteral("lblVerificacoes"));
    lblVerificacoes->setTextFormat(Qt::RichText);
    lblVerificacoes->setWordWrap(true);
    lblVerificacoes->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblVerificacoes->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* area = new QScrollArea(this);
    area->setObjectName(QStringLiteral("lblVerificacoesArea"));
    area->setFrameShape(QFrame::NoFrame);
    area->setWidgetResizable(true);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setFocusPolicy(Qt::NoFocus);
    area->setWidget(lblVerificacoes);
    area->setBackgroundRole(QPalette::Window);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 4, 6, 4);
    layout->addWidget(titulo, 0, Qt::AlignTop);
    layout->addWidget(area, 1);
    limpa();
}

void PainelVerificacoes::mostra(const quality::Findings& achados)
{
    m_linhas.clear();
    if (achados.isEmpty()) {
        limpa();
        return;
    }
    QString html;
    for (const quality::Finding& f : achados) {
        const bool erro = f.severity == quality::Severity::Erro;
        const QString gravidade = quality::severityText(f.severity);
        m_linhas << gravidade + QStringLiteral(": ") + f.message;
        html += QStringLiteral("<div><b style=\"color:%1\">%2</b> %3</div>")
                    .arg(erro ? QStringLiteral("#c00000") : QStringLiteral("#8a6d00"), gravidade,
                         f.message.toHtmlEscaped());
    }
    lblVerificacoes->setText(html);
}

void PainelVerificacoes::limpa()
{
    m_linhas.clear();
    lblVerificacoes->setText(QStringLiteral("<span style=\"color:#707070\">nenhum achado</span>"));
}

} // namespace trd
