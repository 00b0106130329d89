#include "OrtografiaCelula.h"

#include "TApplication.h"

#include <QCoreApplication>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QMenu>
#include <QTextCharFormat>

namespace trd {

OrtografiaCelula::OrtografiaCelula(QLineEdit* editor, std::shared_ptr<quality::SpellChecker> ortografia)
    : QObject(editor), m_editor(editor), m_ortografia(std::move(ortografia))
{
    setObjectName(QStringLiteral("ortografiaCelula"));
    connect(editor, &QLineEdit::textChanged, this, [this] { atualiza(); });
    editor->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(editor, &QLineEdit::customContextMenuRequested, this, [this](const QPoint& pos) { abreMenu(pos); });
    atualiza();
}

void OrtografiaCelula::atualiza()
{
    if (!m_editor)
        return;
    m_erradas = m_ortografia->misspelt(m_editor->text());
    // A line edit draws formats only as an input method's: they go to it the
    // way an input method sends them, with nothing to insert, relative to the
    // cursor. Its text, selection and undo history stay as they are.
    QTextCharFormat sublinhado;
    sublinhado.setUnderlineStyle(QTextCharFormat::WaveUnderline);
    sublinhado.setUnderlineColor(QColor(220, 0, 0));
    QList<QInputMethodEvent::Attribute> formatos;
    const int cursor = m_editor->cursorPosition();
    for (const quality::SpellingWord& w : m_erradas)
        formatos.append(QInputMethodEvent::Attribute(QInputMethodEvent::TextFormat, int(w.start) - cursor,
                                                     int(w.length), sublinhado));
    QInputMethodEvent evento(QString(), formatos);
    QCoreApplication::sendEvent(m_editor, &evento);
}

QMenu* OrtografiaCelula::criaMenu(const QPoint& pos)
{
    QMenu* menu = m_editor->createStandardContextMenu();
    const int onde = m_editor->cursorPositionAt(pos);
    const auto palavra = std::find_if(m_erradas.cbegin(), m_erradas.cend(), [onde](const quality::SpellingWord& w) {
        return onde >= w.start && onde <= w.start + w.length;
    });
    if (palavra == m_erradas.cend())
        return menu;
    const quality::SpellingWord w = *palavra;
    QAction* primeira = menu->actions().isEmpty() ? nullptr : menu->actions().constFirst();
    const QStringList sugestoes = m_ortografia->suggestions(w.word);
    for (const QString& s : sugestoes) {
        auto* troca = new QAction(s, menu);
        QFont negrito = troca->font();
        negrito.setBold(true);
        troca->setFont(negrito);
        connect(troca, &QAction::triggered, this, [this, w, s] {
            if (!m_editor)
                return;
            // As if typed: through the field's check and the undo history.
            m_editor->setSelection(int(w.start), int(w.length));
            m_editor->insert(s);
        });
        menu->insertAction(primeira, troca);
    }
    if (sugestoes.isEmpty()) {
        auto* nenhuma = new QAction(QStringLiteral("(sem sugestões)"), menu);
        nenhuma->setEnabled(false);
        menu->insertAction(primeira, nenhuma);
    }
    auto* adiciona = new QAction(QStringLiteral("Adicionar ao dicionário"), menu);
    adiciona->setObjectName(QStringLiteral("actAdicionarDicionario"));
    connect(adiciona, &QAction::triggered, this, [this, w] {
        QString erro;
        if (!m_ortografia->addUserWord(w.word, &erro))
            Application()->Dialogs().ShowError(erro);
        atualiza();
    });
    menu->insertAction(primeira, adiciona);
    menu->insertSeparator(primeira);
    return menu;
}

void OrtografiaCelula::abreMenu(const QPoint& pos)
{
    if (!m_editor)
        return;
    QMenu* menu = criaMenu(pos);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(m_editor->mapToGlobal(pos));
}

} // namespace trd
