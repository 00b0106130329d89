#pragma once
// What the information dialog's widget tests share: one real trd-server for
// the suite behind a recording proxy, a host-like main window, the recording
// dialog seam, the editor open on a language, opening the dialog and filling
// it as a user does, and the direct counts of the server's database.
#include "Cli_Trd09302.h"
#include "InfoBanco.h"
#include "RecordingDialogSeam.h"
#include "RecordingProxy.h"
#include "TrdServerProcess.h"

#include <QMainWindow>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

class QMdiArea;

namespace trd::test {

struct AmbienteInfo {
    QTemporaryDir pasta;
    std::unique_ptr<TrdServerProcess> servidor;
    std::unique_ptr<RecordingProxy> proxy;
};
extern AmbienteInfo* ambiente;

// Calls back on every paint of a widget.
class PaintSpy : public QObject {
public:
    PaintSpy(QWidget* widget, std::function<void()> onPaint);
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void()> m_onPaint;
};

class InfoTest : public ::testing::Test {
protected:
    static void iniciaServidor(const QByteArray& semente);
    static void paraServidor();

    InfoTest();
    ~InfoTest() override;

    // CriaInfoTraducao as the editor's button calls it, then waits until the
    // dialog is the active window; the proxy's record starts afresh before.
    TfrmInfoTraducao& abreInfo();
    void activaDialogo(TfrmInfoTraducao& f);
    // Types the price and both dates into empty fields, as a user does.
    void preenche(TfrmInfoTraducao& f, const QString& preco, const QString& inicial, const QString& final_);
    void escolheIdioma(const QString& item);

    int linhasBanco(const QString& idioma, const QString& situacao, Intervalo intervalo = {}) const;
    qint64 caracteresBanco(const QString& idioma, const QString& situacao, Intervalo intervalo = {}) const;

    RecordingDialogSeam seam;
    QMainWindow principal;
    QMdiArea* mdi = nullptr;
};

} // namespace trd::test
