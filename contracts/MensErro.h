#pragma once
// MensErro: shows a text as an error and abandons the running handler.
#include "Exceptions.h"

#include <QString>

namespace trd {

// The abort MensErro raises after showing its text. It is an EAbort, so the
// dispatch helper ends the handler silently: the user sees the message once.
class EMensErro : public EAbort {
public:
    explicit EMensErro(QString text) : m_text(std::move(text)) { }
    const QString& Text() const noexcept { return m_text; }

private:
    QString m_text;
};

// Shows text in an error message box. With abandon (as every screen calls it)
// it then raises EMensErro and does not return; without, it just returns.
void MensErro(const QString& text, bool abandon = true);

} // namespace trd
