#include "AvisoPropagacao.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace trd {

AvisoPropagacao::AvisoPropagacao(QWidget* parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("panPropagacao"));
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    QPalette cores = palette();
    cores.setColor(QPalette::Window, QColor(255, 248, 205)); // a note, not an error
    setPalette(cores);
    auto* linha = new QHBoxLayout(this);
    linha->setContentsMargins(6, 2, 6, 2);
    lblAviso = new QLabel(this);
    lblAviso->setObjectName(QStringLiteral("lblPropagacao"));
    lblAviso->setTextFormat(Qt::PlainText);
    lblAviso->setWordWrap(true);
    lblAviso->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    linha->addWidget(lblAviso, 1);
    auto botao = [this, linha](const char* nome, const QString& texto) {
        auto* b = new QPushButton(texto, this);
        b->setObjectName(QString::fromLatin1(nome));
        b->setFocusPolicy(Qt::NoFocus);
        b->setAutoDefault(false);
        linha->addWidget(b);
        return b;
    };
    btnAplicar = botao("btnAplicarNaoTraduzidas", QStringLiteral("Aplicar às &não traduzidas"));
    btnEscolher = botao("btnEscolherLinhas", QStringLiteral("&Escolher linhas..."));
    btnDesfazer = botao("btnDesfazerPropagacao", QStringLiteral("Des&fazer"));
    btnDispensar = botao("btnDispensar", QStringLiteral("Dis&pensar"));
    btnDesfazer->setVisible(false);
    // The first way is the one offered: drawn as the default button.
    btnAplicar->setDefault(true);
    connect(btnAplicar, &QPushButton::clicked, this, &AvisoPropagacao::aplicarNaoTraduzidas);
    connect(btnEscolher, &QPushButton::clicked, this, &AvisoPropagacao::escolher);
    connect(btnDispensar, &QPushButton::clicked, this, &AvisoPropagacao::dispensar);
    connect(btnDesfazer, &QPushButton::clicked, this, &AvisoPropagacao::desfazer);
    hide();
}

void AvisoPropagacao::pergunta(const QString& texto, int naoTraduzidas)
{
    lblAviso->setText(texto);
    btnAplicar->setVisible(true);
    btnAplicar->setEnabled(naoTraduzidas > 0);
    btnEscolher->setVisible(true);
    btnDesfazer->setVisible(false);
    btnDispensar->setText(QStringLiteral("Dis&pensar"));
    show();
}

void AvisoPropagacao::informa(const QString& texto, bool podeDesfazer)
{
    lblAviso->setText(texto);
    btnAplicar->setVisible(false);
    btnEscolher->setVisible(false);
    btnDesfazer->setVisible(podeDesfazer);
    btnDispensar->setText(QStringLiteral("Fechar (Alt+&P)"));
    show();
}

void AvisoPropagacao::esconde()
{
    hide();
}

} // namespace trd
