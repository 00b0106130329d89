#pragma once
// Paints a data grid's cells through its OnDrawColumnCell (or the default
// drawing), creates the in-place editor, and routes the editor's keys to the
// grid so that the grid's key events and movement work while typing.
#include <QStyledItemDelegate>

class QLineEdit;

namespace trd {

class TDBGrid;

class TDBGridDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit TDBGridDelegate(TDBGrid* grid);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const override;

    // Writes the editor's text to the field; false when the field refused it
    // (the error has been shown).
    bool writeEditor(QWidget* editor, const QModelIndex& index) const;
    // The same, raising the field's refusal to the caller.
    void writeEditorOrRaise(QWidget* editor, const QModelIndex& index) const;
    // Shows the field's value again in an editor the user typed nothing into.
    void reloadUnchangedEditor(QWidget* editor, const QModelIndex& index) const;
    // The user changed the editor's text since it was opened with the field's value.
    static bool holdsSomethingNew(const QLineEdit* editor);

protected:
    bool eventFilter(QObject* object, QEvent* event) override;

private:
    void paintFailed() const;
    void load(QLineEdit* editor, const QString& text) const;

    TDBGrid* m_grid;
    mutable bool m_paintErrorPending = false;
};

} // namespace trd
