#pragma once
// The rows of a source to give a translation to, when the user picks them:
// one line each with its program, component, status and current translation,
// a box to tick; the untranslated rows come ticked. Modal, opened only by the
// user's "Escolher linhas...".
#include "MemoriaRegras.h"

#include <QDialog>

#include <vector>

class QTreeWidget;
class QLabel;

namespace trd {

class EscolhaLinhas : public QDialog {
    Q_OBJECT
public:
    EscolhaLinhas(const QString& origem, const QString& traducao, const std::vector<memoria::LinhaMesmaOrigem>& linhas,
                  QWidget* parent = nullptr);

    // The indexes (into the rows given) ticked when the dialog closed.
    std::vector<int> escolhidas() const;

    QLabel* lblCabecalho;
    QTreeWidget* lstLinhas;
};

} // namespace trd
