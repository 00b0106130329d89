#include "TfrmRotiGeral.h"

#include "Glyphs.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QShowEvent>
#include <QVBoxLayout>

#include <algorithm>
#include <vector>

namespace trd {

namespace {

// A framed panel's column: its controls one under another, `margin` pixels
// inside the frame.
QVBoxLayout* framedColumn(QFrame* panel, int margin)
{
    panel->setFrameShape(QFrame::StyledPanel);
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(margin, margin, margin, margin);
    column->setSpacing(0);
    return column;
}

} // namespace

TfrmRotiGeral::TfrmRotiGeral(QWidget* parent) : TfrmBase(parent)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(4);

    m_leftColumn = new QVBoxLayout;
    m_leftColumn->setSpacing(4);
    grbDadosRel = make<QGroupBox>("grbDadosRel", this);
    m_leftColumn->addWidget(grbDadosRel, 1);
    layout->addLayout(m_leftColumn, 1);

    panMenu = make<QFrame>("panMenu", this);
    panMenu->setFixedWidth(64);
    QVBoxLayout* column = framedColumn(panMenu, 1);
    panBotoes = make<QFrame>("panBotoes", panMenu);
    panBotoes->setMinimumHeight(110);
    column->addWidget(panBotoes, 1);
    panHelp = make<QFrame>("panHelp", panMenu);
    panHelp->setFixedHeight(24);
    lblCodTela->setParent(panHelp);
    framedColumn(panHelp, 0)->addWidget(lblCodTela);
    column->addWidget(panHelp);
    layout->addWidget(panMenu);

    sbtConfirma = make<TButtonFlat>("sbtConfirma", panBotoes);
    sbtConfirma->SetBounds(20, 8, 21, 21);
    sbtConfirma->SetGlyph(glyphs::TwoGlyphs(glyphs::Confirma));
    sbtConfirma->SetHint(QStringLiteral("Confirmar"));
    sbtConfirma->OnClick = [this](QObject* sender) { sbtConfirmaClick(sender); };

    sbtCancel = make<TButtonFlat>("sbtCancel", panBotoes);
    sbtCancel->SetBounds(20, 34, 21, 21);
    sbtCancel->SetGlyph(glyphs::TwoGlyphs(glyphs::Cancela));
    sbtCancel->SetHint(QStringLiteral("Fechar"));
    sbtCancel->OnClick = [this](QObject* sender) { sbtCancelClick(sender); };

    // Reached with Tab like any control; Space presses the focused one.
    for (TButtonFlat* button : {sbtConfirma, sbtCancel})
        button->setFocusPolicy(Qt::TabFocus);

    SetKeyPreview(true);
}

void TfrmRotiGeral::showEvent(QShowEvent* event)
{
    // The buttons close the tab order, after the derived dialog's own
    // controls: the dialog opens with the focus on its first field, not on
    // its confirm button.
    // The buttons of the column go in their order on screen, top to bottom.
    if (!m_botoesPorUltimo) {
        m_botoesPorUltimo = true;
        QWidget* ultimo = nullptr;
        std::vector<QWidget*> botoes;
        for (QWidget* w = nextInFocusChain(); w && w != this; w = w->nextInFocusChain()) {
            if (!isAncestorOf(w) || !(w->focusPolicy() & Qt::TabFocus))
                continue;
            if (panMenu->isAncestorOf(w))
                botoes.push_back(w);
            else
                ultimo = w;
        }
        std::stable_sort(botoes.begin(), botoes.end(), [this](QWidget* a, QWidget* b) {
            const QPoint pa = a->mapTo(panMenu, QPoint()), pb = b->mapTo(panMenu, QPoint());
            return pa.y() != pb.y() ? pa.y() < pb.y() : pa.x() < pb.x();
        });
        for (QWidget* botao : botoes) {
            if (ultimo)
                QWidget::setTabOrder(ultimo, botao);
            ultimo = botao;
        }
    }
    // A dialog that was left from one of its buttons and is shown again opens
    // on its first field, as the first time: Enter there confirms, where the
    // button kept in focus would have cancelled again.
    if (!event->spontaneous() && (focusWidget() == sbtConfirma || focusWidget() == sbtCancel)) {
        for (QWidget* w = nextInFocusChain(); w && w != this; w = w->nextInFocusChain()) {
            if (w != sbtConfirma && w != sbtCancel && isAncestorOf(w) && (w->focusPolicy() & Qt::TabFocus)
                && w->isEnabled() && w->isVisibleTo(this)) {
                w->setFocus(Qt::TabFocusReason);
                break;
            }
        }
    }
    TfrmBase::showEvent(event);
}

void TfrmRotiGeral::sbtConfirmaClick(QObject*)
{
}

void TfrmRotiGeral::sbtCancelClick(QObject*)
{
    Close();
}

void TfrmRotiGeral::FormKeyDown(QObject* sender, int& key, Qt::KeyboardModifiers shift)
{
    TfrmBase::FormKeyDown(sender, key, shift);
    if (key == Qt::Key_Escape && shift == Qt::NoModifier) {
        key = 0;
        sbtCancel->Click();
    } else if ((key == Qt::Key_Return || key == Qt::Key_Enter) && !(shift & ~Qt::KeypadModifier)) {
        // Enter presses the focused button, or confirms where the dialog says so.
        auto* focused = qobject_cast<TButtonFlat*>(QApplication::focusWidget());
        if (focused && focused->window() == this && EnterPressionaFocado) {
            key = 0;
            focused->Click();
        } else if (EnterConfirma) {
            key = 0;
            sbtConfirma->Click();
        }
    }
}

} // namespace trd
