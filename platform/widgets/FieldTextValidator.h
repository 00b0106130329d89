#pragma once
// Refuses, in a line edit bound to a string field, any change that would
// leave a text the field could not hold (too long, a character the code page
// lacks). The line edit then undoes the change and emits inputRejected; the
// field's reason waits in TakeRefusal() for whoever tells the user.
#include <QPointer>
#include <QValidator>

namespace trd {

class TField;

class FieldTextValidator : public QValidator {
    Q_OBJECT
public:
    FieldTextValidator(TField* field, QObject* parent);

    State validate(QString& input, int& pos) const override;
    // The reason of the last refusal, once; empty when there was none since.
    QString TakeRefusal();

private:
    TField* m_field;
    mutable QString m_refusal;
};

} // namespace trd
