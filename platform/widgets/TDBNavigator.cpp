#include "TDBNavigator.h"

#include "DataSetEditing.h"
#include "DialogSeam.h"
#include "Dispatch.h"
#include "EnabledRepaint.h"

#include <QHBoxLayout>
#include <QToolButton>

namespace trd {

namespace {
struct ButtonInfo {
    const char16_t* glyph;
    const char16_t* hint;
    const char* name;
};
constexpr ButtonInfo kInfo[kNavigateButtonCount] = {
    {u"|◀", u"Primeiro registro", "nbFirst"},   {u"◀", u"Registro anterior", "nbPrior"},
    {u"▶", u"Próximo registro", "nbNext"},      {u"▶|", u"Último registro", "nbLast"},
    {u"+", u"Incluir registro", "nbInsert"},    {u"−", u"Excluir registro", "nbDelete"},
    {u"▲", u"Alterar registro", "nbEdit"},      {u"✓", u"Gravar alterações", "nbPost"},
    {u"✗", u"Cancelar alterações", "nbCancel"},
};
} // namespace

TDBNavigator::TDBNavigator(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (int i = 0; i < kNavigateButtonCount; ++i) {
        auto* button = new QToolButton(this);
        button->setText(QString::fromUtf16(kInfo[i].glyph));
        button->setToolTip(QString::fromUtf16(kInfo[i].hint));
        button->setObjectName(QString::fromLatin1(kInfo[i].name));
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::NoFocus);
        button->setFixedSize(23, 21);
        CoalesceEnabledRepaints(button);
        connect(button, &QToolButton::clicked, this, [this, i] { BtnClick(static_cast<TNavigateBtn>(i)); });
        layout->addWidget(button);
        m_buttons[static_cast<size_t>(i)] = button;
    }
    layout->addStretch();
    refresh();
}

void TDBNavigator::SetDataSource(TDataSource* source)
{
    TDataSource::Relink(m_dataSource, source, this, [this] { refresh(); });
    refresh();
}

void TDBNavigator::SetVisibleButtons(TNavButtonSet buttons)
{
    m_visible = buttons;
    for (int i = 0; i < kNavigateButtonCount; ++i)
        m_buttons[static_cast<size_t>(i)]->setVisible((buttons & (1 << i)) != 0);
}

bool TDBNavigator::ButtonEnabled(TNavigateBtn button) const
{
    TClientDataSet* ds = m_dataSource && m_dataSource->Enabled ? m_dataSource->DataSet() : nullptr;
    if (!ds || !ds->Active())
        return false;
    const bool edit = isEditing(ds);
    const int row = ds->CurrentIndex();
    const int count = ds->RecordCount();
    // A data set the user may only read: moving only (posting or cancelling an edit begun elsewhere stays).
    if (m_readOnly && (button == nbInsert || button == nbDelete || button == nbEdit))
        return false;
    switch (button) {
    case nbFirst:
    case nbPrior:
        return row > 0;
    case nbNext:
    case nbLast:
        return row >= 0 && row < count - 1;
    case nbInsert:
        return !edit;
    case nbDelete:
        return count > 0;
    case nbEdit:
        return !edit && count > 0;
    case nbPost:
    case nbCancel:
        return edit;
    }
    return false;
}

void TDBNavigator::SetReadOnly(bool readOnly, const QString& why)
{
    m_readOnly = readOnly;
    for (TNavigateBtn b : {nbInsert, nbDelete, nbEdit}) {
        QToolButton* button = m_buttons[static_cast<size_t>(b)];
        if (!button->property("trdDesignedHint").isValid())
            button->setProperty("trdDesignedHint", button->toolTip());
        const QString designed = button->property("trdDesignedHint").toString();
        button->setToolTip(readOnly && !why.isEmpty() ? designed + QStringLiteral(": ") + why : designed);
    }
    refresh();
}

void TDBNavigator::refresh()
{
    for (int i = 0; i < kNavigateButtonCount; ++i)
        m_buttons[static_cast<size_t>(i)]->setEnabled(ButtonEnabled(static_cast<TNavigateBtn>(i)));
}

void TDBNavigator::BtnClick(TNavigateBtn button)
{
    if (!ButtonEnabled(button))
        return;
    Dispatch([&] {
        if (BeforeAction)
            BeforeAction(this, button);
        act(button);
    });
    if (OnClick)
        Dispatch([&] { OnClick(this, button); });
    refresh();
}

void TDBNavigator::act(TNavigateBtn button)
{
    TClientDataSet* ds = m_dataSource->DataSet();
    switch (button) {
    case nbFirst:
        ds->First();
        break;
    case nbPrior:
        ds->Prior();
        break;
    case nbNext:
        ds->Next();
        break;
    case nbLast:
        ds->Last();
        break;
    case nbInsert:
        ds->Insert();
        break;
    case nbDelete:
        if (ConfirmDelete && MessageDlg(QStringLiteral("Excluir registro?"), mtConfirmation, mbYes | mbNo, 0) != mrYes)
            return;
        ds->Delete();
        break;
    case nbEdit:
        ds->Edit();
        break;
    case nbPost:
        ds->Post();
        break;
    case nbCancel:
        ds->Cancel();
        break;
    }
}

} // namespace trd
