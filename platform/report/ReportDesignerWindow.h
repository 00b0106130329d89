#pragma once
// The report designer: title, page, data source, columns (title, width,
// alignment, format, total), sort, group with subtotals, grand total, bar
// chart and an opening text, with a live preview of the first page; saved as
// a definition file. An existing definition opens with its main table and
// first text in the editors; its other elements are kept as they are.
#include "ReportDefinition.h"
#include "TForm.h"

#include <functional>
#include <map>
#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QScrollArea;
class QTableWidget;

namespace trd {

class TClientDataSet;
class TReportDesignerDialog;
struct PreparedReport;
struct ReportCatalogQuery;

class ReportDesignerWindow : public TForm {
    Q_OBJECT
public:
    ReportDesignerWindow(TReportDesignerDialog& dialog, ReportDefinition definition, QString fileName,
                         QWidget* parent = nullptr);
    ~ReportDesignerWindow() override;

    // The definition as the editors describe it now.
    ReportDefinition Definition() const;
    // Writes the definition to its file and closes with mrOk; a definition
    // that would not read back is refused with the reason.
    void Save();
    // Raises the parameter request and loads the source's data for the preview.
    void RefreshData();
    // The preview's state: empty, or the error that keeps it from showing.
    QString PreviewMessage() const;
    // Redraws the preview's first page from the editors (changes do it by themselves).
    void UpdatePreview();
    int PreviewPages() const { return m_previewPages; }

    // The editors, by name, for keyboard users and tests.
    QLineEdit* edtTitulo;
    QComboBox* cbbTamanho;
    QComboBox* cbbOrientacao;
    QComboBox* cbbFonte; // item data: "dataset:<component>" or "query:<name>"
    QLineEdit* edtParametros; // "NAME:type NAME:type"
    QPlainTextEdit* memTexto;
    QTableWidget* grdColunas; // included, field, title, width, align, format, total
    QComboBox* cbbOrdem;
    QCheckBox* chbDecrescente;
    QComboBox* cbbGrupo;
    QLineEdit* edtTituloGrupo;
    QCheckBox* chbSubtotais;
    QCheckBox* chbTotalGeral;
    QCheckBox* chbGrafico;
    QComboBox* cbbValorGrafico;
    QLabel* lblPreview;

private:
    void buildEditors();
    void loadSources();
    void loadDefinition();
    void sourceChanged();
    void fillFields(const QStringList& fields);
    void setColumnRow(int row, const ReportColumn& column, bool included);
    void moveColumn(int delta);
    QStringList sourceFields() const;
    const TClientDataSet* sourceData() const;

    TReportDesignerDialog& m_dialog;
    ReportDefinition m_original;
    QString m_fileName;
    QList<ReportCatalogQuery> m_catalog;
    std::unique_ptr<PreparedReport> m_prepared; // data of the last refresh
    std::unique_ptr<TParams> m_params; // values of the last request
    QString m_previewMessage;
    int m_previewPages = 0;
    bool m_loading = false;
    std::function<void()> m_changed; // schedules a preview
    QScrollArea* m_previewArea = nullptr;
};

} // namespace trd
