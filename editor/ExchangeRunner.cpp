#include "ExchangeRunner.h"

#include "WebServer.h"
#include "WebSession.h"

namespace trd {

ExchangeRunner::ExchangeRunner(QObject* parent) : QObject(parent)
{
}

ExchangeRunner::~ExchangeRunner()
{
    cancel();
    wait();
}

exchange::ServerAddress ExchangeRunner::editorServer()
{
    exchange::ServerAddress address;
    address.host = WebURL;
    address.port = WebPort;
    address.tls = WebTls;
    address.tlsCaFile = WebTlsCaFile;
    // The editor's own connection logged in; a session that ends meanwhile is
    // reported, and the editor's next call asks for the login again.
    address.token = WebSessionToken;
    return address;
}

bool ExchangeRunner::start(std::function<void(const exchange::JobControl&)> job)
{
    if (m_thread)
        return false;
    m_cancel = false;
    m_thread = QThread::create([this, job = std::move(job)] {
        exchange::JobControl control;
        control.cancel = &m_cancel;
        control.onProgress = [this](const exchange::Progress& p) {
            QMetaObject::invokeMethod(
                this, [this, p] { emit progress(p.step, p.done, p.total); }, Qt::QueuedConnection);
        };
        QString error;
        bool cancelled = false;
        try {
            job(control);
        } catch (const exchange::Cancelled& e) {
            cancelled = true;
            error = e.Message();
        } catch (const Exception& e) {
            error = e.Message();
        } catch (const std::exception& e) {
            error = QString::fromUtf8(e.what());
        }
        QMetaObject::invokeMethod(
            this,
            [this, error, cancelled] {
                if (m_thread) {
                    m_thread->wait();
                    m_thread->deleteLater();
                    m_thread = nullptr;
                }
                emit finished(error, cancelled);
            },
            Qt::QueuedConnection);
    });
    m_thread->start();
    return true;
}

void ExchangeRunner::wait()
{
    if (m_thread) {
        m_thread->wait();
        delete m_thread;
        m_thread = nullptr;
    }
}

} // namespace trd
