#pragma once
// The number field of the shared library: digits and one decimal separator,
// at most Decimals digits after it, no thousands separator. Every typed
// character first goes through OnKeyPress, which may change it, discard it
// (set it to 0) or refuse it by raising an abort (as MaxNumber does).
#include "FormEvents.h"

#include <QLineEdit>

namespace trd {

class TNumberEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TNumberEdit(QWidget* parent = nullptr);

    int Decimals = 2;

    // The number shown; 0 when the field is empty or holds no number.
    double GetNumber() const;
    void SetNumber(double value);

    TKeyPressEvent OnKeyPress;
    TNotifyEvent OnChange;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool accepts(QChar ch) const;
};

} // namespace trd
