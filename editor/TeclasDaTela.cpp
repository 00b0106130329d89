#include "TeclasDaTela.h"

#include <QAction>
#include <QShortcut>
#include <QWidget>

#include <stdexcept>

namespace trd {

namespace {

QString nomeDe(const QObject& quem, const QString& texto)
{
    return quem.objectName().isEmpty() ? texto : quem.objectName();
}

} // namespace

QString QuemUsaTecla(const QWidget& tela, const QKeySequence& tecla)
{
    if (tecla.isEmpty())
        return {};
    for (const QAction* item : tela.findChildren<QAction*>())
        if (item->shortcuts().contains(tecla))
            return nomeDe(*item, item->text());
    for (const QShortcut* atalho : tela.findChildren<QShortcut*>())
        if (atalho->keys().contains(tecla))
            return nomeDe(*atalho, atalho->key().toString());
    return {};
}

void ConfereTecla(const QWidget& tela, const char* nome, const QKeySequence& tecla)
{
    const QString dono = QuemUsaTecla(tela, tecla);
    if (dono.isEmpty())
        return;
    throw std::logic_error(QStringLiteral("%1: a tecla %2 já é de %3")
                               .arg(QString::fromLatin1(nome), tecla.toString(QKeySequence::PortableText), dono)
                               .toStdString());
}

QAction* NovoItem(QWidget& tela, const char* nome, const QString& texto, const QKeySequence& tecla)
{
    ConfereTecla(tela, nome, tecla);
    auto* item = new QAction(texto, &tela);
    item->setObjectName(QString::fromLatin1(nome));
    item->setShortcut(tecla);
    return item;
}

QShortcut* NovoAtalho(QWidget& tela, const char* nome, const QKeySequence& tecla)
{
    ConfereTecla(tela, nome, tecla);
    auto* atalho = new QShortcut(tecla, &tela);
    atalho->setObjectName(QString::fromLatin1(nome));
    return atalho;
}

} // namespace trd
