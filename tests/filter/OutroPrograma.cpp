// Another program on the same display: it shows a window and takes the
// activation, as the user switching to another application does, and says
// "ativa" on its output once it has it. It runs until it is ended.
#include <QApplication>
#include <QTextStream>
#include <QWindow>
#include <QWidget>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QWidget janela;
    janela.setWindowTitle(QStringLiteral("Outro programa"));
    janela.setGeometry(20, 20, 300, 200);
    janela.show();
    // Without a window manager nothing else gives the new window the focus.
    janela.activateWindow();
    QObject::connect(&app, &QGuiApplication::focusWindowChanged, &app, [](QWindow* window) {
        if (window) {
            QTextStream(stdout) << "ativa" << Qt::endl;
        }
    });
    return app.exec();
}
