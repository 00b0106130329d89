#include "TextoDoColega.h"

#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace trd {

TextoDoColega::TextoDoColega(QWidget* parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("TextoDoColega"));
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->setSpacing(2);

    lblTitulo = new QLabel(this);
    lblTitulo->setObjectName(QStringLiteral("lblTitulo"));
    lblTitulo->setTextFormat(Qt::PlainText);
    QFont bold = lblTitulo->font();
    bold.setBold(true);
    lblTitulo->setFont(bold);
    // The title names who saved and with which status: it wraps rather than
    // being cut at the panel's edge.
    lblTitulo->setWordWrap(true);
    layout->addWidget(lblTitulo);

    // Texts can be long and hold line breaks: they wrap and scroll here.
    auto* area = new QScrollArea(this);
    area->setObjectName(QStringLiteral("lblTextoArea"));
    area->setFrameShape(QFrame::NoFrame);
    area->setWidgetResizable(true);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setFocusPolicy(Qt::NoFocus);
    lblTexto = new QLabel(area);
    lblTexto->setObjectName(QStringLiteral("lblTexto"));
    lblTexto->setTextFormat(Qt::PlainText);
    lblTexto->setWordWrap(true);
    lblTexto->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblTexto->setTextInteractionFlags(Qt::TextSelectableByMouse);
    area->setWidget(lblTexto);
    layout->addWidget(area, 1);

    btnUsar = new QPushButton(QStringLiteral("&Usar este texto"), this);
    btnUsar->setObjectName(QStringLiteral("btnUsar"));
    // A click must not take the focus from the cell being edited.
    btnUsar->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(btnUsar, 0, Qt::AlignLeft);
    connect(btnUsar, &QPushButton::clicked, this, [this] { emit usar(m_texto); });

    hide();
}

void TextoDoColega::Mostra(const QString& titulo, const QString& texto)
{
    m_texto = texto;
    lblTitulo->setText(titulo);
    lblTexto->setText(texto);
    show();
    raise();
}

void TextoDoColega::Esconde()
{
    hide();
    m_texto.clear();
    lblTexto->clear();
}

} // namespace trd
