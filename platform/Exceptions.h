#pragma once
// The error classes of the form framework that the module relies on: a base
// class carrying a user-facing message, the silent abort, and the data-access
// errors. Everything the module raises derives from Exception, so the one
// dispatch helper can tell a silent abort from an error to display.
#include <QString>
#include <exception>

namespace trd {

class Exception : public std::exception {
public:
    explicit Exception(QString message) : m_message(std::move(message)), m_utf8(m_message.toUtf8()) { }
    const QString& Message() const noexcept { return m_message; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

// Raised by Abort(): unwinds the running handler without any message.
class EAbort : public Exception {
public:
    EAbort() : Exception(QStringLiteral("Operation aborted")) { }
};

[[noreturn]] inline void Abort()
{
    throw EAbort();
}

class EDatabaseError : public Exception {
public:
    using Exception::Exception;
};

// The client data set's own error class (a database error with an error code).
class EDBClient : public EDatabaseError {
public:
    explicit EDBClient(QString message, int errorCode = 0) : EDatabaseError(std::move(message)), m_errorCode(errorCode)
    {
    }
    int ErrorCode() const noexcept { return m_errorCode; }

private:
    int m_errorCode;
};

} // namespace trd
