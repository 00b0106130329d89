#include "CheckOptions.h"

#include "WebServer.h"

#include <QCommandLineParser>

#include <algorithm>

namespace trd::check {

namespace {

// A whole number from `low` to `high`, or an error naming the option.
bool readNumber(const QCommandLineParser& parser, const QCommandLineOption& option, int low, int high, int& value,
                QString& error)
{
    if (!parser.isSet(option))
        return true;
    bool ok = false;
    const int n = parser.value(option).toInt(&ok);
    if (!ok || n < low || n > high) {
        error = QStringLiteral("--%1 espera um número de %2 a %3, recebeu \"%4\".")
                    .arg(option.names().constLast())
                    .arg(low)
                    .arg(high)
                    .arg(parser.value(option));
        return false;
    }
    value = n;
    return true;
}

} // namespace

CheckOptions parseCheckOptions(const QStringList& arguments)
{
    CheckOptions options;
    const SizeRule defaults;
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Lista as linhas de um idioma não traduzidas (tipo N), as de tradução longa demais para o lugar do\n"
        "texto de origem (tipo E) e as que as outras verificações acusam (tipo Q: marcadores, atalhos,\n"
        "pontuação...), num arquivo de itens listados que o filtro \"Filtrar por Arquivo\" lê.\n"
        "Uma linha da tradução é longa demais quando passa o comprimento da linha correspondente do texto\n"
        "de origem mais o maior entre --percent por cento dele e --min-extra caracteres; uma linha a mais\n"
        "que as do texto de origem também. O \"&\" que marca a letra de atalho não conta.\n"
        "Sai com 6 quando a lista foi gravada e alguma verificação achou um erro (docs/checks.md)."));
    const QCommandLineOption helpOption({QStringLiteral("h"), QStringLiteral("help")},
                                        QStringLiteral("Mostra esta ajuda."));
    const QCommandLineOption languageOption({QStringLiteral("l"), QStringLiteral("language")},
                                            QStringLiteral("Idioma a verificar (código, ex. ENG)."),
                                            QStringLiteral("IDIOMA"));
    const QCommandLineOption serverOption(
        QStringLiteral("server"),
        QStringLiteral("Servidor de aplicação (padrão: $TRD_SERVER ou 127.0.0.1:%1).").arg(DefaultWebPort),
        QStringLiteral("HOST:PORTA"));
    const QCommandLineOption outputOption(
        {QStringLiteral("o"), QStringLiteral("output")},
        QStringLiteral("Arquivo a gravar, ou pasta onde gravar %1 (padrão: a pasta TRD ao lado do programa).")
            .arg(QStringLiteral("CDSNTRAD.cds")),
        QStringLiteral("ARQUIVO"));
    const QCommandLineOption kindsOption(QStringLiteral("kinds"),
                                         QStringLiteral("Tipos a listar: N, E, Q ou uma combinação (padrão NEQ)."),
                                         QStringLiteral("TIPOS"));
    QStringList codes;
    for (const quality::CheckInfo& info : quality::allChecks())
        codes << info.code.toString();
    const QCommandLineOption checksOption(
        QStringLiteral("checks"),
        QStringLiteral("Verificações a fazer, separadas por vírgula (padrão: todas): %1. \"tamanho\" lista o tipo E, "
                       "as outras o tipo Q.")
            .arg(codes.join(QStringLiteral(", "))),
        QStringLiteral("LISTA"));
    const QCommandLineOption percentOption(
        QStringLiteral("percent"),
        QStringLiteral("Quanto uma linha pode crescer, em % da linha de origem (padrão %1).").arg(defaults.percent),
        QStringLiteral("N"));
    const QCommandLineOption minExtraOption(
        QStringLiteral("min-extra"),
        QStringLiteral("Caracteres que uma linha sempre pode crescer (padrão %1).").arg(defaults.minExtra),
        QStringLiteral("N"));
    const QCommandLineOption maxLineOption(QStringLiteral("max-line"),
                                           QStringLiteral("Comprimento máximo de qualquer linha (padrão: sem limite)."),
                                           QStringLiteral("N"));
    const QCommandLineOption ampersandOption(QStringLiteral("count-ampersands"),
                                             QStringLiteral("Conta também o \"&\" das letras de atalho."));
    const QCommandLineOption obsoleteOption(
        QStringLiteral("obsoletas"),
        QStringLiteral("Verifica também as linhas que uma liberação tornou obsoletas, depois das vivas; as mensagens "
                       "delas começam por \"(obsoleta)\"."));
    const QCommandLineOption quietOption({QStringLiteral("q"), QStringLiteral("quiet")},
                                         QStringLiteral("Sem o progresso, só erros e o resumo."));
    for (const auto* option :
         {&helpOption, &languageOption, &serverOption, &outputOption, &kindsOption, &checksOption, &percentOption,
          &minExtraOption, &maxLineOption, &ampersandOption, &obsoleteOption, &quietOption})
        parser.addOption(*option);
    parser.addPositionalArgument(QStringLiteral("IDIOMA"), QStringLiteral("O idioma, se não dado por --language."));
    options.helpText = parser.helpText();

    if (!parser.parse(arguments)) {
        options.error = parser.errorText();
        return options;
    }
    options.help = parser.isSet(helpOption);
    if (options.help)
        return options;

    QStringList positional = parser.positionalArguments();
    if (parser.isSet(languageOption))
        positional.prepend(parser.value(languageOption));
    if (positional.size() > 1) {
        options.error = QStringLiteral("Informe um só idioma; recebi: %1.").arg(positional.join(QStringLiteral(", ")));
        return options;
    }
    options.language = positional.isEmpty() ? QString() : positional.constFirst().trimmed();
    if (options.language.isEmpty()) {
        options.error = QStringLiteral("Informe o idioma a verificar, ex. trd-check ENG.");
        return options;
    }

    if (parser.isSet(kindsOption)) {
        const QString kinds = parser.value(kindsOption).toUpper();
        options.untranslated = kinds.contains(u'N');
        options.tooLong = kinds.contains(u'E');
        options.others = kinds.contains(u'Q');
        const bool onlyKnown =
            std::all_of(kinds.begin(), kinds.end(), [](QChar c) { return c == u'N' || c == u'E' || c == u'Q'; });
        if (!onlyKnown || kinds.isEmpty()) {
            options.error = QStringLiteral("--kinds espera N, E, Q ou uma combinação, recebeu \"%1\".")
                                .arg(parser.value(kindsOption));
            return options;
        }
    }
    if (parser.isSet(checksOption)) {
        const auto checks = quality::CheckSet::parse(parser.value(checksOption), &options.error);
        if (!checks)
            return options;
        options.checks = *checks;
    }
    if (!readNumber(parser, percentOption, 0, 1000, options.rule.percent, options.error)
        || !readNumber(parser, minExtraOption, 0, 4000, options.rule.minExtra, options.error)
        || !readNumber(parser, maxLineOption, 0, 4000, options.rule.maxLine, options.error))
        return options;
    options.rule.countAmpersands = parser.isSet(ampersandOption);
    options.quiet = parser.isSet(quietOption);
    options.obsolete = parser.isSet(obsoleteOption);
    options.output = parser.value(outputOption);

    options.server = parser.isSet(serverOption) ? parser.value(serverOption) : qEnvironmentVariable("TRD_SERVER");
    QString reason;
    if (!options.server.isEmpty() && !SetWebServer(options.server, &reason))
        options.error = reason;
    return options;
}

} // namespace trd::check
