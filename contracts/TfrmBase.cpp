#include "TfrmBase.h"

#include "TApplication.h"

namespace trd {

TfrmBase::TfrmBase(QWidget* parent) : TForm(parent)
{
    lblCodTela = make<QLabel>("lblCodTela", this);
    QFont code = lblCodTela->font();
    code.setPointSizeF(code.pointSizeF() * 0.85);
    lblCodTela->setFont(code);
    lblCodTela->setAlignment(Qt::AlignCenter);
    msgPadrao = make<TMessages>("msgPadrao", this);

    // The events call the virtual handlers, so whatever a derived form
    // overrides is what runs; TForm enters them through Dispatch.
    OnCreate = [this](QObject* sender) { FormCreate(sender); };
    OnActivate = [this](QObject* sender) { FormActivate(sender); };
    OnClose = [this](QObject* sender, TCloseAction& action) { FormClose(sender, action); };
    OnKeyDown = [this](QObject* sender, int& key, Qt::KeyboardModifiers shift) { FormKeyDown(sender, key, shift); };
}

void TfrmBase::FormCreate(QObject*)
{
    // A dialog opens centred over the main window, wherever that is.
    if (FormStyle() == fsMDIChild)
        return;
    if (QWidget* main = Application()->MainForm(); main && main->isVisible()) {
        const QRect area = main->frameGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
}

void TfrmBase::FormActivate(QObject*)
{
}

void TfrmBase::FormClose(QObject*, TCloseAction& action)
{
    action = caFree;
}

void TfrmBase::FormKeyDown(QObject*, int&, Qt::KeyboardModifiers)
{
}

} // namespace trd
