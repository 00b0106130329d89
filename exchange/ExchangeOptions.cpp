#include "ExchangeOptions.h"

#include "WebServer.h"

#include <QCommandLineParser>

namespace trd::exchange {

namespace {

const char* Usage = "Uso:\n"
                    "  trd-exchange export [opções] IDIOMA\n"
                    "      Exporta as linhas do idioma para um arquivo XLIFF 1.2, XLIFF 2.1 ou PO.\n"
                    "  trd-exchange import [opções] ARQUIVO\n"
                    "      Mostra o que a importação do arquivo faria (novas traduções, alterações, sem mudança,\n"
                    "      sem linha correspondente, conflitos, recusadas); com --apply, grava as novas traduções e\n"
                    "      as alterações no servidor, de uma vez. Conflitos (linhas alteradas no servidor depois da\n"
                    "      exportação do arquivo) só são gravados com --overwrite-conflicts.\n"
                    "  trd-exchange terms-export [opções] IDIOMA\n"
                    "      Exporta o glossário do idioma para um arquivo TBX (padrão) ou CSV.\n"
                    "  trd-exchange terms-import [opções] IDIOMA ARQUIVO\n"
                    "      Mostra o que a importação de um glossário TBX ou CSV faria (termos novos, alterados, sem\n"
                    "      mudança, recusados); com --apply, grava os novos e os alterados. Termos que o arquivo não\n"
                    "      traz ficam como estão.\n";

} // namespace

QString defaultOutput(const QString& language, Format format)
{
    return language.trimmed().toUpper() + u'.' + QLatin1String(formatExtension(format));
}

ExchangeOptions parseExchangeOptions(const QStringList& arguments)
{
    ExchangeOptions options;
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(Usage));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Mostra esta ajuda."));
    const QCommandLineOption server = WebServerOption();
    const QCommandLineOption tlsCa(QStringLiteral("tls-ca"),
                                   QStringLiteral("Confia só nas autoridades deste arquivo PEM."),
                                   QStringLiteral("PEM"));
    const QCommandLineOption user(
        QStringLiteral("user"),
        QStringLiteral("Usuário, quando o servidor pede login (a senha vem de $TRD_PASSWORD ou "
                       "é lida da entrada)."),
        QStringLiteral("NOME"));
    const QCommandLineOption quiet({QStringLiteral("q"), QStringLiteral("quiet")}, QStringLiteral("Sem o progresso."));
    const QCommandLineOption format(
        QStringLiteral("format"),
        QStringLiteral("export: xliff12 (padrão), xliff21 ou po; terms-export: tbx (padrão) ou csv."),
        QStringLiteral("FORMATO"));
    const QCommandLineOption output(
        {QStringLiteral("o"), QStringLiteral("output")},
        QStringLiteral("export, terms-export: arquivo a gravar (padrão: IDIOMA.xlf, IDIOMA.po, "
                       "IDIOMA.tbx ou IDIOMA.csv)."),
        QStringLiteral("ARQUIVO"));
    const QCommandLineOption status(QStringLiteral("status"),
                                    QStringLiteral("export: só as situações dadas, ex. ND (padrão TDN)."),
                                    QStringLiteral("SITUAÇÕES"));
    const QCommandLineOption filter(QStringLiteral("filter"),
                                    QStringLiteral("export: condições do filtro, como o diálogo de filtro as escreve, "
                                                   "ex. \"AND CDPROGTRAD = 'TRD09300'\"."),
                                    QStringLiteral("FILTRO"));
    const QCommandLineOption language(QStringLiteral("language"),
                                      QStringLiteral("import: o idioma em que importar (deve ser o do arquivo)."),
                                      QStringLiteral("IDIOMA"));
    const QCommandLineOption apply(QStringLiteral("apply"),
                                   QStringLiteral("import, terms-import, release: grava no servidor."));
    const QCommandLineOption preview(QStringLiteral("preview"),
                                     QStringLiteral("release: só mostra o que a liberação faria."));
    const QCommandLineOption confirm(QStringLiteral("confirm"),
                                     QStringLiteral("release: aplica mesmo um arquivo vazio ou que tornaria obsoletas "
                                                    "linhas demais de um idioma."));
    const QCommandLineOption threshold(
        QStringLiteral("threshold"),
        QStringLiteral("release: similaridade mínima de um texto reescrito, 50 a 100 (padrão 70)."),
        QStringLiteral("PCT"));
    const QCommandLineOption vanish(
        QStringLiteral("vanish-limit"),
        QStringLiteral("release: parte máxima das linhas de um idioma que pode ficar obsoleta "
                       "sem --confirm, 0 a 100 (padrão 30)."),
        QStringLiteral("PCT"));
    const QCommandLineOption noMemory(
        QStringLiteral("no-memory"),
        QStringLiteral("release: não oferece às linhas novas a tradução idêntica da memória."));
    const QCommandLineOption overwrite(
        QStringLiteral("overwrite-conflicts"),
        QStringLiteral("import: grava também os conflitos, sobre as alterações do servidor."));
    const QCommandLineOption accept(
        QStringLiteral("accept-refused"),
        QStringLiteral("import, terms-import: grava as demais unidades (termos) quando algumas são recusadas."));
    const QCommandLineOption list(
        QStringLiteral("list"),
        QStringLiteral("import, terms-import: lista também as novas traduções (termos) e as alterações."));
    for (const auto* o : {&help, &server, &tlsCa, &user, &quiet, &format, &output, &status, &filter, &language, &apply,
                          &overwrite, &accept, &list, &preview, &confirm, &threshold, &vanish, &noMemory})
        parser.addOption(*o);
    parser.addPositionalArgument(
        QStringLiteral("COMANDO"),
        QStringLiteral("export, import, release, pretranslate, terms-export ou terms-import."));
    options.helpText = parser.helpText();

    if (!parser.parse(arguments)) {
        options.error = parser.errorText();
        return options;
    }
    options.help = parser.isSet(help);
    if (options.help)
        return options;
    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty()) {
        options.error = QStringLiteral("Informe o comando: export, import ou release.");
        return options;
    }
    const QString command = positional.constFirst();
    const QStringList rest = positional.mid(1);
    const auto onlyFor = [&](const QList<const QCommandLineOption*>& opts, const QString& cmd) {
        for (const auto* o : opts)
            if (parser.isSet(*o)) {
                options.error = QStringLiteral("--%1 só vale para %2.").arg(o->names().constLast(), cmd);
                return false;
            }
        return true;
    };
    const QList<const QCommandLineOption*> releaseOnly = {&preview, &confirm, &threshold, &vanish, &noMemory};
    if (command == QLatin1String("export")) {
        options.command = ExchangeOptions::Command::Export;
        if (!onlyFor({&language, &apply, &overwrite, &accept, &list}, QStringLiteral("import"))
            || !onlyFor(releaseOnly, QStringLiteral("release")))
            return options;
        if (rest.size() != 1) {
            options.error = QStringLiteral("Informe um idioma a exportar, ex. trd-exchange export ENG.");
            return options;
        }
        options.language = rest.constFirst().trimmed();
        if (parser.isSet(format)) {
            const auto f = formatFromName(parser.value(format).toStdString());
            if (!f) {
                options.error =
                    QStringLiteral("--format espera xliff12, xliff21 ou po, recebeu \"%1\".").arg(parser.value(format));
                return options;
            }
            options.format = *f;
        }
        options.output = parser.isSet(output) ? parser.value(output) : defaultOutput(options.language, options.format);
        if (parser.isSet(status)) {
            options.statuses = parser.value(status).toUpper();
            for (const QChar c : options.statuses)
                if (c != u'T' && c != u'D' && c != u'N') {
                    options.error =
                        QStringLiteral("--status espera letras T, D e N, recebeu \"%1\".").arg(parser.value(status));
                    return options;
                }
        }
        options.filter = parser.value(filter);
    } else if (command == QLatin1String("import")) {
        options.command = ExchangeOptions::Command::Import;
        if (!onlyFor({&format, &output, &status, &filter}, QStringLiteral("export"))
            || !onlyFor(releaseOnly, QStringLiteral("release")))
            return options;
        if (rest.size() != 1) {
            options.error = QStringLiteral("Informe um arquivo a importar, ex. trd-exchange import ENG.xlf.");
            return options;
        }
        options.file = rest.constFirst();
        options.language = parser.value(language).trimmed();
        options.apply = parser.isSet(apply);
        options.overwriteConflicts = parser.isSet(overwrite);
        options.acceptRefused = parser.isSet(accept);
        options.listAll = parser.isSet(list);
    } else if (command == QLatin1String("release")) {
        options.command = ExchangeOptions::Command::Release;
        if (!onlyFor({&format, &output, &status, &filter}, QStringLiteral("export"))
            || !onlyFor({&language, &overwrite, &accept}, QStringLiteral("import")))
            return options;
        if (rest.size() != 1) {
            options.error =
                QStringLiteral("Informe o arquivo da liberação, ex. trd-exchange release textos.tsv --preview.");
            return options;
        }
        options.file = rest.constFirst();
        options.preview = parser.isSet(preview);
        options.apply = parser.isSet(apply);
        if (options.preview == options.apply) {
            options.error = QStringLiteral("Informe --preview (só mostrar) ou --apply (aplicar), um dos dois.");
            return options;
        }
        if (parser.isSet(confirm) && !options.apply) {
            options.error = QStringLiteral("--confirm só vale com --apply.");
            return options;
        }
        options.confirm = parser.isSet(confirm);
        options.memory = !parser.isSet(noMemory);
        options.listAll = parser.isSet(list);
        const auto percent = [&](const QCommandLineOption& o, int min, int& into) {
            if (!parser.isSet(o))
                return true;
            bool ok = false;
            const int value = parser.value(o).toInt(&ok);
            if (!ok || value < min || value > 100) {
                options.error = QStringLiteral("--%1 espera um número inteiro de %2 a 100, recebeu \"%3\".")
                                    .arg(o.names().constLast())
                                    .arg(min)
                                    .arg(parser.value(o));
                return false;
            }
            into = value;
            return true;
        };
        if (!percent(threshold, 50, options.threshold) || !percent(vanish, 0, options.vanishLimit))
            return options;
    } else if (command == QLatin1String("pretranslate")) {
        options.command = ExchangeOptions::Command::PreTranslate;
        if (!onlyFor({&format, &output, &status}, QStringLiteral("export"))
            || !onlyFor({&language, &apply, &overwrite, &accept, &list}, QStringLiteral("import"))
            || !onlyFor(releaseOnly, QStringLiteral("release")))
            return options;
        if (rest.size() != 1) {
            options.error = QStringLiteral("Informe um idioma a pré-traduzir, ex. trd-exchange pretranslate ESP.");
            return options;
        }
        options.language = rest.constFirst().trimmed();
        options.filter = parser.value(filter);
    } else if (command == QLatin1String("terms-export")) {
        options.command = ExchangeOptions::Command::TermsExport;
        if (!onlyFor({&status, &filter}, QStringLiteral("export"))
            || !onlyFor({&language, &apply, &overwrite, &accept, &list}, QStringLiteral("import"))
            || !onlyFor(releaseOnly, QStringLiteral("release")))
            return options;
        if (rest.size() != 1) {
            options.error = QStringLiteral("Informe o idioma do glossário, ex. trd-exchange terms-export ENG.");
            return options;
        }
        options.language = rest.constFirst().trimmed();
        if (parser.isSet(format)) {
            const auto f = termFormatFromName(parser.value(format).toStdString());
            if (!f) {
                options.error = QStringLiteral("--format de terms-export espera tbx ou csv, recebeu \"%1\".")
                                    .arg(parser.value(format));
                return options;
            }
            options.termFormat = *f;
        }
        options.output = parser.isSet(output)
            ? parser.value(output)
            : options.language.toUpper() + u'.' + QLatin1String(termFormatExtension(options.termFormat));
    } else if (command == QLatin1String("terms-import")) {
        options.command = ExchangeOptions::Command::TermsImport;
        if (!onlyFor({&format, &output, &status, &filter}, QStringLiteral("export"))
            || !onlyFor({&language, &overwrite}, QStringLiteral("import"))
            || !onlyFor(releaseOnly, QStringLiteral("release")))
            return options;
        if (rest.size() != 2) {
            options.error =
                QStringLiteral("Informe o idioma e o arquivo, ex. trd-exchange terms-import ENG glossario.tbx.");
            return options;
        }
        options.language = rest.constFirst().trimmed();
        options.file = rest.constLast();
        options.apply = parser.isSet(apply);
        options.acceptRefused = parser.isSet(accept);
        options.listAll = parser.isSet(list);
    } else {
        options.error = QStringLiteral("Comando desconhecido: \"%1\" (use export, import, release, pretranslate, "
                                       "terms-export ou terms-import).")
                            .arg(command);
        return options;
    }
    options.quiet = parser.isSet(quiet);
    options.user = parser.value(user);
    options.caFile = parser.value(tlsCa);
    options.server = parser.isSet(server) ? parser.value(server) : qEnvironmentVariable("TRD_SERVER");
    QString reason;
    if (!options.server.isEmpty() && !SetWebServer(options.server, &reason))
        options.error = reason;
    return options;
}

} // namespace trd::exchange
