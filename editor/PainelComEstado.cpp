#include "PainelComEstado.h"

#include <QLabel>
#include <QVBoxLayout>

namespace trd {

PainelComEstado::PainelComEstado(const char* nome, const char* nomeDoEstado, QWidget* parent)
    : QFrame(parent), lblEstado(new QLabel(this)), m_coluna(new QVBoxLayout(this))
{
    setObjectName(QString::fromLatin1(nome));
    setFrameShape(QFrame::StyledPanel);
    m_coluna->setContentsMargins(4, 2, 4, 2);
    m_coluna->setSpacing(1);
    lblEstado->setObjectName(QString::fromLatin1(nomeDoEstado));
    lblEstado->setTextFormat(Qt::PlainText);
    lblEstado->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_coluna->addWidget(lblEstado);
}

void PainelComEstado::mostraEstado(const QString& texto)
{
    retiraOferta();
    mostraAviso(texto);
}

void PainelComEstado::mostraAviso(const QString& texto)
{
    lblEstado->setText(texto);
    lblEstado->setToolTip(texto);
}

QString PainelComEstado::estado() const
{
    return lblEstado->text();
}

} // namespace trd
