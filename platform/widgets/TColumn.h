#pragma once
// Columns of a data grid: which field each shows, its title, width and whether
// it may be edited. Properties are plain members, as the module sets them
// while building its form; a grid re-reads them when it is shown, when its
// data changes shape, and when ColumnsChanged() is called.
#include <QString>

#include <memory>
#include <vector>

namespace trd {

class TDBGrid;
class TField;

struct TColumnTitle {
    QString Caption;
};

class TColumn {
public:
    explicit TColumn(TDBGrid* grid) : m_grid(grid) { }

    QString FieldName;
    TColumnTitle Title; // empty caption: the field's display label
    int Width = 64;
    bool ReadOnly = false;
    bool Visible = true;

    // The grid's data set field this column shows, or nullptr.
    TField* Field() const;
    TDBGrid* Grid() const { return m_grid; }
    int Index() const;

private:
    TDBGrid* m_grid;
};

class TDBGridColumns {
public:
    explicit TDBGridColumns(TDBGrid* grid) : m_grid(grid) { }

    TColumn* Add();
    TColumn* Add(const QString& fieldName, const QString& title, int width, bool readOnly = false);
    int Count() const { return static_cast<int>(m_items.size()); }
    TColumn* Items(int index) const { return m_items.at(static_cast<size_t>(index)).get(); }
    TColumn* operator[](int index) const { return Items(index); }
    int IndexOf(const TColumn* column) const;
    void Clear();

private:
    TDBGrid* m_grid;
    std::vector<std::unique_ptr<TColumn>> m_items;
};

} // namespace trd
