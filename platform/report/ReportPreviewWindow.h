#pragma once
// The preview of a report: one page at a time with page navigation and zoom,
// and the ways out: print, save as PDF, export the main table as CSV. Long
// writes show their progress and can be cancelled.
#include "TForm.h"

#include <memory>

class QComboBox;
class QLabel;
class QScrollArea;
class QSpinBox;
class QToolButton;

namespace trd {

struct PreparedReport;
class ReportDocument;

class ReportPreviewWindow : public TForm {
    Q_OBJECT
public:
    explicit ReportPreviewWindow(std::unique_ptr<PreparedReport> report, QWidget* parent = nullptr);
    ~ReportPreviewWindow() override;

    const ReportDocument& Document() const;
    int CurrentPage() const { return m_page; } // 0-based
    void ShowPage(int page);
    // Zoom in percent of the page's size at 96 dpi; 0 fits the width, -1 the whole page.
    void SetZoom(int percent);
    double EffectiveDpi() const;

    // The actions of the buttons, callable with a file name (tests, scripts);
    // the buttons ask the user for one. False when cancelled.
    bool SavePdf(const QString& fileName);
    bool SaveCsv(const QString& fileName);
    void Print();

    QLabel* PageImage() const { return m_image; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void render();
    void askPdf();
    void askCsv();

    std::unique_ptr<PreparedReport> m_report;
    int m_page = 0;
    int m_zoom = 0;
    double m_renderedDpi = 0;
    QScrollArea* m_scroll;
    QLabel* m_image;
    QSpinBox* m_pageBox;
    QLabel* m_pageCount;
    QComboBox* m_zoomBox;
};

} // namespace trd
