#include "FieldTextValidator.h"

#include "TField.h"

#include <utility>

namespace trd {

FieldTextValidator::FieldTextValidator(TField* field, QObject* parent) : QValidator(parent), m_field(field)
{
}

QValidator::State FieldTextValidator::validate(QString& input, int&) const
{
    m_refusal = m_field ? m_field->TextRefusal(input) : QString();
    return m_refusal.isEmpty() ? Acceptable : Invalid;
}

QString FieldTextValidator::TakeRefusal()
{
    return std::exchange(m_refusal, QString());
}

} // namespace trd
