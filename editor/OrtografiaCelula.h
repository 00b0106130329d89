#pragma once
// The spelling of the text being typed in a grid cell: the words the
// language's dictionary does not know get a red wavy underline as the user
// types, and a right-click on one offers the dictionary's suggestions and
// "Adicionar ao dicionário" before the line edit's own menu.
#include "SpellChecker.h"

#include <QList>
#include <QObject>
#include <QPointer>

#include <memory>

class QLineEdit;
class QMenu;

namespace trd {

class OrtografiaCelula : public QObject {
    Q_OBJECT
public:
    // Lives as long as the line edit (its child).
    OrtografiaCelula(QLineEdit* editor, std::shared_ptr<quality::SpellChecker> ortografia);

    // The words underlined now, where they are in the text.
    const QList<quality::SpellingWord>& erradas() const { return m_erradas; }

    // The menu a right-click at `pos` (the line edit's coordinates) opens;
    // the caller owns it.
    QMenu* criaMenu(const QPoint& pos);

private:
    void atualiza();
    void abreMenu(const QPoint& pos);

    QPointer<QLineEdit> m_editor;
    std::shared_ptr<quality::SpellChecker> m_ortografia;
    QList<quality::SpellingWord> m_erradas;
};

} // namespace trd
