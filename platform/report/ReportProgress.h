#pragma once
// A progress dialog for long report work on the user-interface thread: shown
// after a short delay, it processes pending events at each step so that its
// Cancel button is heard.
#include "ReportDocument.h"

class QWidget;

namespace trd {

// A ReportProgress that drives a modal progress dialog with the text given.
class ReportProgressDialog {
public:
    ReportProgressDialog(QWidget* parent, const QString& text);
    ~ReportProgressDialog();
    ReportProgressDialog(const ReportProgressDialog&) = delete;
    ReportProgressDialog& operator=(const ReportProgressDialog&) = delete;

    ReportProgress callback();
    bool cancelled() const { return m_cancelled; }

private:
    struct Impl;
    std::unique_ptr<Impl> d;
    bool m_cancelled = false;
};

} // namespace trd
