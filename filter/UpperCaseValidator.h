#pragma once
// Makes an edit force upper case as the user types or pastes, folding the
// letters as the code page does (the server folds the same letters, so a
// typed "ação" and a stored "AÇÃO" meet).
#include <QValidator>

namespace trd {

class UpperCaseValidator : public QValidator {
    Q_OBJECT
public:
    explicit UpperCaseValidator(QObject* parent = nullptr) : QValidator(parent) { }
    State validate(QString& input, int& pos) const override;
    void fixup(QString& input) const override;
};

} // namespace trd
