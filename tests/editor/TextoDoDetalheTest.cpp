// The detail panel's long texts answer the height a width needs as a
// word-wrapped label of the same settings does, text after text and width
// after width in the orders the scroll area asks them (wider then narrower,
// and back), across a change of font and of margin; and they paint as such a
// label paints, pixel for pixel, with a selection or without.
#include "TextoDoDetalhe.h"

#include <QImage>
#include <QPixmap>

#include <gtest/gtest.h>

#include <ostream>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << s.toStdString();
}
QT_END_NAMESPACE

using namespace trd;

namespace {

void Ajusta(QLabel& l)
{
    QFont negrito = l.font();
    negrito.setBold(true);
    l.setFont(negrito);
    l.setTextFormat(Qt::PlainText);
    l.setAlignment(Qt::AlignLeft | Qt::AlignTop);
    l.setWordWrap(true);
    l.setTextInteractionFlags(Qt::TextSelectableByMouse);
}

} // namespace

TEST(TextoDoDetalhe, TheHeightForAWidthIsTheLabelsOwn)
{
    TextoDoDetalhe texto;
    QLabel rotulo;
    Ajusta(texto);
    Ajusta(rotulo);
    const QString textos[] = {
        QString(),
        QStringLiteral("Texto de origem número 24"),
        QStringLiteral("Salvar o arquivo atual antes de fechar a janela, senão as alterações feitas desde a última "
                       "gravação serão perdidas sem aviso algum"),
        QStringLiteral("Primeira linha\nsegunda linha, um pouco mais longa\n\nquarta"),
        QStringLiteral("Palavra Anticonstitucionalissimamenteinconstitucionalissimamente longa demais"),
        QStringLiteral("Muitos    espaços     entre     as     palavras     e no fim      "),
        QStringLiteral("保存文件后关闭窗口。如果不保存，所有更改都会丢失。"),
        QStringLiteral("حفظ الملف قبل إغلاق النافذة وإلا ستفقد التغييرات"),
        QStringLiteral("Tab\tseparado\tpor\ttabulações\tno meio do texto"),
    };
    // The panel's two widths (with and without the scroll bar), then narrower
    // and wider ones, in both directions.
    const int larguras[] = {497, 483, 300, 120, 40, 1, 0, 60, 483, 497, 900, 2000, 250, 251, 249};
    // The first difference, if any.
    const auto confere = [&]() -> QString {
        for (const QString& t : textos) {
            texto.setText(t);
            rotulo.setText(t);
            for (int w : larguras)
                if (const int a = texto.heightForWidth(w), b = rotulo.heightForWidth(w); a != b)
                    return QStringLiteral("\"%1\" at %2: %3, the label %4").arg(t).arg(w).arg(a).arg(b);
        }
        return QString();
    };
    ASSERT_EQ(confere(), QString()) << "as built";
    QFont maior = texto.font();
    maior.setPointSize(maior.pointSize() + 7);
    texto.setFont(maior);
    rotulo.setFont(maior);
    ASSERT_EQ(confere(), QString()) << "a larger font";
    texto.setMargin(3);
    rotulo.setMargin(3);
    texto.setContentsMargins(2, 5, 7, 1);
    rotulo.setContentsMargins(2, 5, 7, 1);
    ASSERT_EQ(confere(), QString()) << "margins";
    texto.setMinimumHeight(90);
    rotulo.setMinimumHeight(90);
    ASSERT_EQ(confere(), QString()) << "a minimum height";
}

TEST(TextoDoDetalhe, ItPaintsAsTheLabelPaints)
{
    TextoDoDetalhe texto;
    QLabel rotulo;
    Ajusta(texto);
    Ajusta(rotulo);
    const QString textos[] = {
        QStringLiteral("Texto de origem número 24"),
        QStringLiteral("Salvar o arquivo atual antes de fechar a janela, senão as alterações feitas desde a última "
                       "gravação serão perdidas sem aviso algum"),
        QStringLiteral("Primeira linha\nsegunda linha\n\nquarta"),
        QStringLiteral("保存文件后关闭窗口。如果不保存，所有更改都会丢失。"),
        QStringLiteral("Tab\tseparado\tpor\ttabulações"),
    };
    const QSize tamanhos[] = {{497, 42}, {483, 42}, {160, 60}, {60, 20}};
    const auto confere = [&](const char* quando) -> QString {
        for (const QString& t : textos)
            for (const QSize& tamanho : tamanhos) {
                texto.setText(t);
                rotulo.setText(t);
                texto.resize(tamanho);
                rotulo.resize(tamanho);
                // Asked its height first, as the scroll area does, at another width.
                texto.heightForWidth(tamanho.width() + 14);
                if (texto.grab().toImage() != rotulo.grab().toImage())
                    return QStringLiteral("%1: \"%2\" at %3x%4")
                        .arg(QString::fromLatin1(quando), t)
                        .arg(tamanho.width())
                        .arg(tamanho.height());
            }
        return QString();
    };
    ASSERT_EQ(confere("as built"), QString());
    // Another foreground colour and font.
    QPalette cores = texto.palette();
    cores.setColor(QPalette::WindowText, QColor(150, 20, 20));
    texto.setPalette(cores);
    rotulo.setPalette(cores);
    QFont maior = texto.font();
    maior.setPointSize(maior.pointSize() + 5);
    texto.setFont(maior);
    rotulo.setFont(maior);
    ASSERT_EQ(confere("coloured, larger"), QString());
    // A selection shows as the label shows it.
    texto.setText(textos[1]);
    rotulo.setText(textos[1]);
    texto.resize(300, 60);
    rotulo.resize(300, 60);
    texto.setSelection(6, 12);
    rotulo.setSelection(6, 12);
    ASSERT_TRUE(texto.hasSelectedText());
    const QImage selecionado = texto.grab().toImage();
    EXPECT_EQ(selecionado, rotulo.grab().toImage());
    texto.setSelection(0, 0);
    EXPECT_NE(texto.grab().toImage(), selecionado) << "the selection's highlight goes with it";
}
