// The detail panel's long texts answer the height a width needs, and paint,
// as a word-wrapped label of the same settings does: text after text, width
// after width in the orders the scroll area asks them (wider then narrower,
// and back), across a change of font, colour and margins; a selection shows
// as the label shows it.
#include "TextoDoDetalhe.h"

#include <QImage>
#include <QPixmap>

#include <gtest/gtest.h>

using namespace trd;

TEST(TextoDoDetalhe, MeasuresAndPaintsAsTheLabelDoes)
{
    TextoDoDetalhe texto;
    QLabel rotulo;
    for (QLabel* l : {static_cast<QLabel*>(&texto), &rotulo}) {
        QFont negrito = l->font();
        negrito.setBold(true);
        l->setFont(negrito);
        l->setTextFormat(Qt::PlainText);
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        l->setWordWrap(true);
        l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    }
    const QString textos[] = {
        QString(),
        QStringLiteral("Texto de origem número 24"),
        QStringLiteral("Salvar o arquivo atual antes de fechar a janela, senão as alterações serão perdidas"),
        QStringLiteral("Primeira linha\nsegunda linha\n\nPalavraAnticonstitucionalissimamentelonga   "),
        QStringLiteral("保存文件后关闭窗口。如果不保存，所有更改都会丢失。 Tab\tseparado"),
    };
    const int larguras[] = {497, 483, 120, 40, 0, 60, 483, 497, 2000, 250, 251};
    // The first difference, if any.
    const auto confere = [&]() -> std::string {
        for (const QString& t : textos) {
            texto.setText(t);
            rotulo.setText(t);
            for (int w : larguras)
                if (texto.heightForWidth(w) != rotulo.heightForWidth(w))
                    return QStringLiteral("\"%1\": the height at %2").arg(t).arg(w).toStdString();
            for (const QSize tamanho : {QSize(497, 42), QSize(160, 60)}) {
                texto.resize(tamanho);
                rotulo.resize(tamanho);
                texto.heightForWidth(tamanho.width() + 14); // asked first at another width
                if (texto.grab().toImage() != rotulo.grab().toImage())
                    return QStringLiteral("\"%1\": painted at %2 wide").arg(t).arg(tamanho.width()).toStdString();
            }
        }
        return {};
    };
    ASSERT_EQ(confere(), "") << "as built";
    QFont maior = texto.font();
    maior.setPointSize(maior.pointSize() + 7);
    QPalette cores = texto.palette();
    cores.setColor(QPalette::WindowText, QColor(150, 20, 20));
    for (QLabel* l : {static_cast<QLabel*>(&texto), &rotulo}) {
        l->setFont(maior);
        l->setPalette(cores);
        l->setMargin(3);
        l->setContentsMargins(2, 5, 7, 1);
    }
    ASSERT_EQ(confere(), "") << "another font, colour and margins";

    texto.setText(textos[2]);
    rotulo.setText(textos[2]);
    texto.setSelection(6, 12);
    rotulo.setSelection(6, 12);
    const QImage selecionado = texto.grab().toImage();
    EXPECT_EQ(selecionado, rotulo.grab().toImage());
    texto.setSelection(0, 0);
    EXPECT_NE(texto.grab().toImage(), selecionado) << "the highlight goes with the selection";
}
