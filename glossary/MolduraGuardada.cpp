#include "MolduraGuardada.h"

#include <QLineEdit>
#include <QPainter>
#include <QStyleOptionFrame>

namespace trd {

namespace {

// What the line stands on: the first of its parents that fills its background.
QColor FundoDe(const QWidget* linha)
{
    for (const QWidget* w = linha->parentWidget(); w; w = w->parentWidget())
        if (w->autoFillBackground() || w->isWindow())
            return w->palette().color(w->backgroundRole());
    return linha->palette().color(QPalette::Window);
}

} // namespace

MolduraGuardada::MolduraGuardada(QLineEdit* linha) : m_linha(linha)
{
}

void MolduraGuardada::Aplica(QLineEdit* linha)
{
    auto* estilo = new MolduraGuardada(linha);
    estilo->setParent(linha);
    linha->setStyle(estilo);
    linha->setAttribute(Qt::WA_OpaquePaintEvent);
}

void MolduraGuardada::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                                    const QWidget* widget) const
{
    const auto* quadro = qstyleoption_cast<const QStyleOptionFrame*>(option);
    if (element != PE_PanelLineEdit || widget != m_linha || !quadro || !painter || !painter->device()) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }
    const qreal escala = painter->device()->devicePixelRatio();
    const Chave chave{option->rect.size(),    int(option->state),     option->palette.cacheKey(),
                      quadro->lineWidth,      quadro->midLineWidth,   int(quadro->features),
                      int(option->direction), FundoDe(widget).rgba(), escala};
    if (!(chave == m_chave) || m_moldura.isNull()) {
        QPixmap moldura((QSizeF(option->rect.size()) * escala).toSize());
        moldura.setDevicePixelRatio(escala);
        moldura.fill(QColor::fromRgba(chave.fundo));
        QPainter p(&moldura);
        QStyleOptionFrame copia(*quadro);
        copia.rect = QRect(QPoint(0, 0), option->rect.size());
        QProxyStyle::drawPrimitive(element, &copia, &p, widget);
        p.end();
        m_moldura = moldura;
        m_chave = chave;
    }
    painter->drawPixmap(option->rect.topLeft(), m_moldura);
}

} // namespace trd
