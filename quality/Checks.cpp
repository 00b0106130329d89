#include "Checks.h"

#include <QStringList>

#include <algorithm>

namespace trd::quality {

const std::array<CheckInfo, CheckCount>& allChecks()
{
    static constexpr std::array<CheckInfo, CheckCount> checks{{
        {CheckId::Marcadores, u"marcadores", Severity::Erro, u"Marcadores de formatação"},
        {CheckId::Atalho, u"atalho", Severity::Erro, u"Marca de atalho"},
        {CheckId::ConflitoAtalho, u"conflito-atalho", Severity::Aviso, u"Atalho repetido na tela"},
        {CheckId::Quebras, u"quebras", Severity::Aviso, u"Quebras de linha"},
        {CheckId::Espacos, u"espacos", Severity::Aviso, u"Espaços no início e no fim"},
        {CheckId::Pontuacao, u"pontuacao", Severity::Aviso, u"Pontuação final"},
        {CheckId::Repeticoes, u"repeticoes", Severity::Aviso, u"Espaços ou palavras repetidos"},
        {CheckId::Delimitadores, u"delimitadores", Severity::Aviso, u"Parênteses, colchetes, chaves e aspas"},
        {CheckId::Numeros, u"numeros", Severity::Aviso, u"Números"},
        {CheckId::IgualOrigem, u"igual-origem", Severity::Aviso, u"Tradução igual à origem"},
        {CheckId::Tamanho, u"tamanho", Severity::Aviso, u"Tamanho"},
        {CheckId::TermoAusente, u"termo-ausente", Severity::Aviso, u"Termo do glossário sem a tradução preferida"},
        {CheckId::TermoProibido, u"termo-proibido", Severity::Aviso, u"Tradução proibida pelo glossário"},
        {CheckId::TermoNaoTraduzir, u"termo-nao-traduzir", Severity::Aviso, u"Termo que não se traduz traduzido"},
    }};
    return checks;
}

const CheckInfo& checkInfo(CheckId id)
{
    return allChecks()[static_cast<std::size_t>(id)];
}

std::optional<CheckId> checkFromCode(QStringView code)
{
    for (const CheckInfo& info : allChecks())
        if (code.compare(info.code, Qt::CaseInsensitive) == 0)
            return info.id;
    return std::nullopt;
}

QString severityText(Severity severity)
{
    return severity == Severity::Erro ? QStringLiteral("erro") : QStringLiteral("aviso");
}

std::optional<CheckSet> CheckSet::parse(QStringView list, QString* error)
{
    CheckSet set;
    qsizetype start = 0;
    auto separator = [](QChar c) { return c == u',' || c == u';' || c.isSpace(); };
    for (qsizetype i = 0; i <= list.size(); ++i) {
        if (i < list.size() && !separator(list[i]))
            continue;
        const QStringView code = list.mid(start, i - start);
        start = i + 1;
        if (code.isEmpty())
            continue;
        const std::optional<CheckId> id = checkFromCode(code);
        if (!id) {
            if (error) {
                QStringList known;
                for (const CheckInfo& info : allChecks())
                    known << info.code.toString();
                *error = QStringLiteral("Verificação desconhecida: \"%1\". As verificações são: %2.")
                             .arg(code.toString(), known.join(QStringLiteral(", ")));
            }
            return std::nullopt;
        }
        set.insert(*id);
    }
    if (set.isEmpty()) {
        if (error)
            *error = QStringLiteral("Nenhuma verificação escolhida.");
        return std::nullopt;
    }
    return set;
}

bool hasErro(const Findings& findings)
{
    return std::any_of(findings.begin(), findings.end(), [](const Finding& f) { return f.severity == Severity::Erro; });
}

} // namespace trd::quality
