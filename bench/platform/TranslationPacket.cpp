#include "TranslationPacket.h"

#include "CborPacketWriter.h"

#include <QStringList>

#include <random>

namespace trd::bench {

namespace {

const QStringList kPortuguese = {
    QStringLiteral("Cadastro"),   QStringLiteral("de"),      QStringLiteral("clientes"),  QStringLiteral("Informe"),
    QStringLiteral("o"),          QStringLiteral("codigo"),  QStringLiteral("do"),        QStringLiteral("produto"),
    QStringLiteral("Deseja"),     QStringLiteral("excluir"), QStringLiteral("registro"),  QStringLiteral("selecionado"),
    QStringLiteral("Data"),       QStringLiteral("inicial"), QStringLiteral("final"),     QStringLiteral("Valor"),
    QStringLiteral("total"),      QStringLiteral("pedido"),  QStringLiteral("Confirmar"), QStringLiteral("Cancelar"),
    QStringLiteral("Filtrar"),    QStringLiteral("por"),     QStringLiteral("periodo"),   QStringLiteral("Situacao"),
    QStringLiteral("fornecedor"), QStringLiteral("nota"),    QStringLiteral("fiscal"),    QStringLiteral("estoque"),
};
const QStringList kEnglish = {
    QStringLiteral("Customer"), QStringLiteral("registration"), QStringLiteral("Enter"),   QStringLiteral("the"),
    QStringLiteral("product"),  QStringLiteral("code"),         QStringLiteral("Do"),      QStringLiteral("you"),
    QStringLiteral("want"),     QStringLiteral("to"),           QStringLiteral("delete"),  QStringLiteral("selected"),
    QStringLiteral("record"),   QStringLiteral("Start"),        QStringLiteral("date"),    QStringLiteral("End"),
    QStringLiteral("Total"),    QStringLiteral("amount"),       QStringLiteral("order"),   QStringLiteral("Confirm"),
    QStringLiteral("Cancel"),   QStringLiteral("Filter"),       QStringLiteral("by"),      QStringLiteral("period"),
    QStringLiteral("Status"),   QStringLiteral("supplier"),     QStringLiteral("invoice"), QStringLiteral("stock"),
};
const QStringList kSpecial = {
    QStringLiteral("&Arquivo"), QStringLiteral("\"Tradução\""),      QStringLiteral("Ação"),
    QStringLiteral("<não>"),    QStringLiteral("linha\r\nseguinte"), QStringLiteral("Preço & condição"),
    QStringLiteral("'Opção'"),
};
const QStringList kComponentKinds = {QStringLiteral("lbl"), QStringLiteral("btn"), QStringLiteral("edt"),
                                     QStringLiteral("grb"), QStringLiteral("mnu"), QStringLiteral("MSG")};

QString sentence(std::mt19937& rng, const QStringList& words, bool special)
{
    std::uniform_int_distribution<int> word(0, static_cast<int>(words.size()) - 1);
    std::uniform_int_distribution<int> length(20, 60); // about 40 on average
    const int target = length(rng);
    QString text;
    if (special)
        text = kSpecial[std::uniform_int_distribution<int>(0, static_cast<int>(kSpecial.size()) - 1)(rng)];
    while (text.size() < target) {
        if (!text.isEmpty())
            text += QLatin1Char(' ');
        text += words[word(rng)];
    }
    return text;
}

} // namespace

std::vector<PacketField> translationFields()
{
    const std::pair<const char*, int> defs[] = {{"STAGRVALPROP", 4000}, {"STVALORPROP", 4000}, {"IDSITTRADUCAO", 1},
                                                {"IDIDIOMA", 3},        {"NMCOMPONENTE", 50},  {"CDPROGTRAD", 20}};
    std::vector<PacketField> fields;
    for (const auto& [name, width] : defs) {
        PacketField f;
        f.name = name;
        f.size = width;
        fields.push_back(f);
    }
    return fields;
}

std::vector<TranslationRow> makeTranslationRows(int count, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> percent(0, 99);
    std::uniform_int_distribution<int> componentNo(0, 1999);
    std::uniform_int_distribution<int> programNo(0, 399);
    static const QString statuses[] = {QStringLiteral("T"), QStringLiteral("D"), QStringLiteral("N")};
    std::vector<TranslationRow> rows;
    rows.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const bool special = percent(rng) < 2;
        TranslationRow r;
        r.source = sentence(rng, kPortuguese, special);
        r.destination = sentence(rng, kEnglish, special);
        r.status = statuses[percent(rng) % 3];
        r.language = QStringLiteral("ENG");
        const int c = componentNo(rng);
        r.component = kComponentKinds[c % kComponentKinds.size()] + QStringLiteral("Campo%1").arg(c);
        r.program = QStringLiteral("TRD%1").arg(programNo(rng) * 100 + 9000, 5, 10, QLatin1Char('0'));
        rows.push_back(std::move(r));
    }
    return rows;
}

QByteArray writeTranslationPacket(const std::vector<TranslationRow>& rows)
{
    QByteArray out;
    PacketWriter w(out);
    w.begin(translationFields());
    for (const TranslationRow& r : rows) {
        w.beginRow();
        w.string(0, r.source);
        w.string(1, r.destination);
        w.string(2, r.status);
        w.string(3, r.language);
        w.string(4, r.component);
        w.string(5, r.program);
        w.endRow();
    }
    w.end();
    return out;
}

QByteArray writeTranslationCbor(const std::vector<TranslationRow>& rows)
{
    std::string out;
    CborPacketWriter w(out);
    w.begin(translationFields());
    for (const TranslationRow& r : rows) {
        w.beginRow();
        for (const QString* text : {&r.source, &r.destination, &r.status, &r.language, &r.component, &r.program}) {
            const QByteArray utf8 = text->toUtf8();
            w.string(static_cast<int>(text - &r.source),
                     std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
        }
        w.endRow();
    }
    w.end();
    return QByteArray::fromStdString(out);
}

} // namespace trd::bench
