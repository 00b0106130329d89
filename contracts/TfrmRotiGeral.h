#pragma once
// Base of the module's dialogs: the data group box on the left, where each
// dialog places its controls, and the button column on the right (panMenu:
// panBotoes with the confirm and cancel buttons, panHelp with the screen code).
// A click on sbtCancel closes the dialog; Escape does the same.
#include "TButtonFlat.h"
#include "TfrmBase.h"

#include <QFrame>
#include <QGroupBox>

class QVBoxLayout;

namespace trd {

class TfrmRotiGeral : public TfrmBase {
    Q_OBJECT
public:
    explicit TfrmRotiGeral(QWidget* parent = nullptr);

    QGroupBox* grbDadosRel; // the dialog's own controls go here, placed by position
    QFrame* panMenu; // the button column
    QFrame* panBotoes; // its buttons, placed by position (21 by 21)
    QFrame* panHelp; // its foot, with lblCodTela
    TButtonFlat* sbtConfirma;
    TButtonFlat* sbtCancel;
    // Enter anywhere in the dialog confirms it, as the default button of a
    // dialog whose only action is its confirmation.
    bool EnterConfirma = false;
    // Enter on a focused button presses it. A dialog whose Enter has one
    // meaning wherever the focus is (find next) turns this off and handles
    // Enter itself.
    bool EnterPressionaFocado = true;

    virtual void sbtConfirmaClick(QObject* sender);
    virtual void sbtCancelClick(QObject* sender);

    void FormKeyDown(QObject* sender, int& key, Qt::KeyboardModifiers shift) override;

protected:
    QVBoxLayout* leftColumn() const { return m_leftColumn; }
    void showEvent(QShowEvent* event) override;

private:
    QVBoxLayout* m_leftColumn;
    bool m_botoesPorUltimo = false;
};

} // namespace trd
