#pragma once
// The record navigator: buttons that move through and edit a data source's
// data set, each enabled by the data set's state and position.
#include "TDataSource.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <array>
#include <functional>

class QToolButton;

namespace trd {

enum TNavigateBtn { nbFirst, nbPrior, nbNext, nbLast, nbInsert, nbDelete, nbEdit, nbPost, nbCancel };
constexpr int kNavigateButtonCount = 9;
using TNavButtonSet = int; // bit (1 << TNavigateBtn) per visible button
constexpr TNavButtonSet kAllNavButtons = (1 << kNavigateButtonCount) - 1;

class TDBNavigator : public QWidget {
    Q_OBJECT
public:
    explicit TDBNavigator(QWidget* parent = nullptr);

    TDataSource* DataSource() const { return m_dataSource; }
    void SetDataSource(TDataSource* source);

    TNavButtonSet VisibleButtons() const { return m_visible; }
    void SetVisibleButtons(TNavButtonSet buttons);
    bool ConfirmDelete = true;
    // The user may only read the rows: insert, delete and edit stay off,
    // `why` added to their hints.
    void SetReadOnly(bool readOnly, const QString& why = QString());
    bool ReadOnly() const { return m_readOnly; }

    // Presses a button, as a click does (nothing when it is disabled).
    void BtnClick(TNavigateBtn button);
    QToolButton* Button(TNavigateBtn button) const { return m_buttons[button]; }
    bool ButtonEnabled(TNavigateBtn button) const;

    // BeforeAction may Abort() the action; OnClick runs after it.
    std::function<void(TDBNavigator*, TNavigateBtn)> BeforeAction;
    std::function<void(TDBNavigator*, TNavigateBtn)> OnClick;

private:
    void refresh();
    void act(TNavigateBtn button);

    QPointer<TDataSource> m_dataSource;
    std::array<QToolButton*, kNavigateButtonCount> m_buttons{};
    TNavButtonSet m_visible = kAllNavButtons;
    bool m_readOnly = false;
};

} // namespace trd
