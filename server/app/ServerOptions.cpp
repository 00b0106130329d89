#include "ServerOptions.h"

#include "ConfigFile.h"
#include "OptionTable.h"

#include <algorithm>
#include <map>
#include <set>

namespace trd::server {

const char* serverUsage()
{
    return "uso: trd-server --db ARQUIVO --backup COPIA\n"
           "     trd-server --config ARQUIVO [opções]   (as opções da linha de comando valem sobre as do arquivo)\n"
           "     trd-server restore COPIA (--db ARQUIVO | --config ARQUIVO)  (com o servidor parado)\n"
           "     trd-server --check-config [ARQUIVO]    (confere o arquivo, padrão /etc/trd/trd-server.conf, e sai)\n"
           "     trd-server (--db ARQUIVO | --pg CONEXAO) --prune-history DIAS\n"
           "     trd-server (--db ARQUIVO | --pg CONEXAO) [--listen HOST:PORTA] [--create] [--demo]\n"
           "                  [--read-only] [--full-check] [--check-every S] [--min-free MIB] [--threads N]\n"
           "                  [--pg-statement-timeout S] [--pg-lock-timeout S]\n"
           "                  [--max-body MIB] [--body-memory MIB] [--max-connections N] [--max-per-address N]\n"
           "                  [--request-timeout S] [--idle-timeout S] [--write-timeout S] [--statement-timeout S]\n"
           "                  [--tls-cert PEM --tls-key PEM] [--server-name NOME]...\n"
           "                  [--users ARQUIVO] [--session-timeout S] [--import-tsv ARQUIVO] [--quiet]\n"
           "                  [--mt-url URL [--mt-source CODIGO] [--mt-language IDIOMA=CODIGO]... [--mt-timeout S]\n"
           "                   [--mt-cache ARQUIVO]]\n"
           "       trd-server user (add|remove|reset|list|roles) [NOME] (--users ARQUIVO | --db ARQUIVO)\n"
           "                  (add e reset leem a senha da entrada padrão)\n"
           "       trd-server user add NOME --papel PAPEL:IDIOMA [--papel ...] (--users ARQUIVO | --db ARQUIVO)\n"
           "       trd-server user grant NOME PAPEL IDIOMA (--users ARQUIVO | --db ARQUIVO)\n"
           "       trd-server user revoke NOME IDIOMA (--users ARQUIVO | --db ARQUIVO)\n"
           "                  PAPEL: leitor, tradutor, revisor ou administrador; IDIOMA: o código, ou * para todos\n"
           "                  (add sem --papel: o usuário pode tudo, como antes dos papéis; veja docs/users.md)\n"
           "  --db ARQUIVO        banco SQLite; precisa existir, a menos que --create ou --demo\n"
           "  --backup COPIA      grava uma cópia de segurança do banco SQLite em uso (sem parar o servidor) e sai\n"
           "  --prune-history DIAS remove do histórico de alterações os lotes de mais de DIAS dias e sai\n"
           "                      (pode rodar ao lado do servidor em uso)\n"
           "  --pg CONEXAO        banco PostgreSQL (texto de conexão da libpq, ex. \"host=db dbname=trd\")\n"
           "  --listen HOST:PORTA endereço de escuta (padrão 127.0.0.1:8211; porta 0 = qualquer livre; IPv6: [::1]:8211)\n"
           "  --create            cria o banco SQLite quando o arquivo não existe ou está vazio\n"
           "  --demo              cria o banco se preciso e preenche um banco novo com dados de demonstração\n"
           "  --read-only         atende o banco SQLite somente para consulta (gravações recusadas)\n"
           "  --full-check        verificação de integridade completa ao iniciar (padrão: a rápida)\n"
           "  --check-every S     verificação de integridade rápida a cada S segundos em funcionamento (padrão 600; 0 = só ao iniciar)\n"
           "  --min-free MIB      /health falha com menos espaço livre em disco (padrão 64)\n"
           "  --pg-statement-timeout S  tempo máximo de um comando no PostgreSQL (padrão 30 s)\n"
           "  --pg-lock-timeout S tempo máximo de espera por um bloqueio no PostgreSQL (padrão 5 s)\n"
           "  --threads N         threads que executam as chamadas (padrão 32)\n"
           "  --max-body MIB      tamanho máximo de uma requisição (padrão 256)\n"
           "  --body-memory MIB   memória para os corpos de todas as requisições em andamento (padrão 1024, ou 3 x --max-body)\n"
           "  --max-connections N conexões abertas ao mesmo tempo (padrão 20000)\n"
           "  --max-per-address N conexões abertas de um mesmo endereço (padrão 64)\n"
           "  --request-timeout S prazo para receber uma requisição inteira (padrão 30 s)\n"
           "  --idle-timeout S    conexão sem requisição é fechada após S segundos (padrão 300)\n"
           "  --write-timeout S   prazo para entregar uma resposta inteira ao cliente (padrão 120 s)\n"
           "  --statement-timeout S uma leitura no SQLite é interrompida após S segundos (padrão 30)\n"
           "  --users ARQUIVO     usuários e senhas (padrão: ARQUIVO-DO-BANCO.users, quando existe)\n"
           "  --session-timeout S uma sessão aberta pelo login dura S segundos (padrão 43200)\n"
           "  --server-name NOME  nome pelo qual os clientes chamam o servidor, além do endereço (pode repetir)\n"
           "  --tls-cert PEM      certificado do servidor: atende só HTTPS (com --tls-key)\n"
           "  --tls-key PEM       chave privada do certificado\n"
           "  --import-tsv ARQ    importa idiomas e traduções de um arquivo TSV antes de atender\n"
           "  --quiet             sem a linha de log por requisição\n"
           "  --backup-dir PASTA  cópias de segurança agendadas nesta pasta (SQLite), verificadas antes de apagar antigas\n"
           "  --backup-every S    intervalo entre as cópias agendadas (padrão 86400 s)\n"
           "  --keep-daily N      cópias diárias mantidas (padrão 14); --keep-weekly N (8), --keep-monthly N (6)\n"
           "  --metrics-token T   GET /metrics também de fora deste computador, com Authorization: Bearer T\n"
           "  --config ARQUIVO    lê as opções deste arquivo (NOME = VALOR, uma por linha, nomes sem os traços)\n"
           "  --mt-url URL        serviço de tradução automática (Apertium: http://127.0.0.1:2737)\n"
           "  --mt-source CODIGO  código do motor para o idioma dos textos de origem (padrão por)\n"
           "  --mt-language IDIOMA=CODIGO código do motor para um idioma do servidor (ex. ESP=spa; pode repetir)\n"
           "  --mt-timeout S      prazo de uma chamada ao serviço de tradução automática (padrão 3 s)\n"
           "  --mt-cache ARQUIVO  respostas do serviço guardadas (padrão: ARQUIVO-DO-BANCO.mt)\n";
}

std::string usersFileFor(const std::string& users, const std::string& db)
{
    if (!users.empty())
        return users;
    return db.empty() ? std::string() : db + ".users";
}

std::optional<UserCommand> parseUserCommand(const std::vector<std::string>& args, std::string& error)
{
    UserCommand command;
    std::string db, users;
    std::vector<std::string> words;
    const auto fail = [&error](std::string why) {
        error = std::move(why);
        return std::nullopt;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        if ((args[i] == "--users" || args[i] == "--db") && i + 1 < args.size()) {
            (args[i] == "--users" ? users : db) = args[i + 1];
            ++i;
        } else if (args[i] == "--papel" && i + 1 < args.size()) {
            const std::string& given = args[++i];
            const std::size_t colon = given.find(':');
            const std::optional<Role> role = roleFromName(given.substr(0, colon));
            const std::string language = colon == std::string::npos ? std::string() : given.substr(colon + 1);
            if (!role || !Grants::validLanguage(language))
                return fail("--papel espera PAPEL:IDIOMA (leitor, tradutor, revisor ou administrador; o código do "
                            "idioma, ou * para todos), recebido \""
                            + given + "\"");
            if (!command.grants)
                command.grants = Grants();
            command.grants->grant(language, *role);
        } else {
            words.push_back(args[i]);
        }
    }
    static const std::vector<std::string> Actions = {"add", "remove", "reset", "list", "roles", "grant", "revoke"};
    if (words.empty() || std::find(Actions.begin(), Actions.end(), words[0]) == Actions.end())
        return fail("user espera add, remove, reset, list, roles, grant ou revoke");
    command.action = words[0];
    if (command.grants && command.action != "add")
        return fail("--papel só vale para user add; use user grant");
    if (command.action == "list" || command.action == "roles") {
        if (words.size() != 1)
            return fail("user " + command.action + " não recebe nome");
    } else if (command.action == "grant") {
        if (words.size() != 4)
            return fail("user grant espera NOME PAPEL IDIOMA");
        const std::optional<Role> role = roleFromName(words[2]);
        if (!role)
            return fail("papel inválido: \"" + words[2] + "\" (use leitor, tradutor, revisor ou administrador)");
        if (!Grants::validLanguage(words[3]))
            return fail("idioma inválido: \"" + words[3] + "\" (use o código do idioma, ou * para todos)");
        command.name = words[1];
        command.role = *role;
        command.language = words[3];
    } else if (command.action == "revoke") {
        if (words.size() != 3)
            return fail("user revoke espera NOME IDIOMA");
        if (!Grants::validLanguage(words[2]))
            return fail("idioma inválido: \"" + words[2] + "\" (use o código do idioma, ou * para todos)");
        command.name = words[1];
        command.language = words[2];
    } else {
        if (words.size() != 2)
            return fail("user " + command.action + " espera o nome do usuário");
        command.name = words[1];
    }
    command.usersFile = usersFileFor(users, db);
    if (command.usersFile.empty())
        return fail("informe --users ARQUIVO (ou --db ARQUIVO)");
    return command;
}

std::optional<ServerOptions> parseServerOptions(const std::vector<std::string>& args, std::string& error)
{
    struct Given {
        const OptionEntry* known;
        std::string value;
    };
    ServerOptions options;
    std::vector<Given> given;
    std::set<std::string> named; // options and groups on the command line
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            options.help = true;
            return options;
        }
        if (arg == "--check-config") {
            // An optional file: the word after it, unless it is an option.
            options.checkConfig = true;
            if (i + 1 < args.size() && args[i + 1].rfind("--", 0) != 0)
                options.config = args[++i];
            continue;
        }
        const OptionEntry* known = arg.rfind("--", 0) == 0 ? findServerOption(std::string_view(arg).substr(2)) : nullptr;
        if (!known) {
            error = "opção desconhecida: " + arg;
            return std::nullopt;
        }
        std::string value;
        if (known->arity != OptionArity::Flag) {
            if (i + 1 >= args.size()) {
                error = arg + " precisa de um valor";
                return std::nullopt;
            }
            value = args[++i];
        }
        named.insert(known->name);
        if (!known->group.empty())
            named.insert(known->group);
        given.push_back({known, std::move(value)});
    }
    for (const Given& g : given)
        if (g.known->name == "config")
            options.config = g.value;
    if (options.checkConfig && options.config.empty())
        options.config = DefaultConfigFile;
    std::set<std::string> fromFile;
    if (!options.config.empty()) {
        const auto entries = readConfigFile(options.config, error);
        if (!entries)
            return std::nullopt;
        std::map<std::string, int> seen;
        for (const ConfigEntry& entry : *entries) {
            const auto fail = [&](const std::string& why) {
                error =
                    "arquivo de configuração " + options.config + ", linha " + std::to_string(entry.line) + ": " + why;
                return std::nullopt;
            };
            const OptionEntry* known = findServerOption(entry.key);
            if (!known)
                return fail("opção desconhecida: " + entry.key);
            if (!known->inFile)
                return fail(entry.key + " vale só na linha de comando (--" + entry.key + ")");
            if (known->arity != OptionArity::Repeated) {
                const auto [at, fresh] = seen.emplace(entry.key, entry.line);
                if (!fresh)
                    return fail(entry.key + " repetido (já na linha " + std::to_string(at->second) + ")");
            }
            std::string value = entry.value;
            if (known->arity == OptionArity::Flag) {
                const std::optional<bool> on = configFlag(entry.value);
                if (!on)
                    return fail(entry.key + " espera true ou false, recebeu \"" + entry.value + "\"");
                if (!*on)
                    continue;
                value.clear();
            } else if (entry.value.empty()) {
                return fail(entry.key + " precisa de um valor");
            }
            // The command line wins: a file's option it names again (or
            // one of the same group, --pg for the file's db) is set aside.
            if (named.count(known->name) || (!known->group.empty() && named.count(known->group)))
                continue;
            std::string why;
            if (!known->apply(options, value, why))
                return fail(why);
            fromFile.insert(known->name);
        }
    }
    for (const Given& g : given) {
        if (!g.known->apply(options, g.value, error))
            return std::nullopt;
    }
    const bool checkEveryGiven = named.count("check-every") > 0 || fromFile.count("check-every") > 0;
    if (!finishServerOptions(options, checkEveryGiven, error)) {
        if (!fromFile.empty())
            error += " (com o arquivo de configuração " + options.config + ")";
        return std::nullopt;
    }
    return options;
}

bool finishServerOptions(ServerOptions& options, bool checkEveryGiven, std::string& error)
{
    if (options.db.empty() == options.pg.empty()) {
        error = options.db.empty() ? "--db (ou --pg) é obrigatório" : "use --db ou --pg, não os dois";
        return false;
    }
    if (!options.pg.empty()
        && (options.create || options.readOnly || options.fullCheck || !options.backup.empty() || checkEveryGiven)) {
        error = "--create, --read-only, --full-check, --check-every e --backup valem só para --db (PostgreSQL: "
                "pg_dump e pg_amcheck, veja docs/server.md)";
        return false;
    }
    if (!options.pg.empty() && !options.backupDir.empty()) {
        error = "--backup-dir vale só para --db; no PostgreSQL use pg_dump (veja docs/operations.md)";
        return false;
    }
    if (!options.backup.empty() && (options.create || options.demo || !options.importTsv.empty())) {
        error = "--backup só copia um banco existente";
        return false;
    }
    if (options.pruneHistoryDays >= 0
        && (options.create || options.demo || options.readOnly || !options.importTsv.empty()
            || !options.backup.empty())) {
        error = "--prune-history só limpa o histórico de um banco existente";
        return false;
    }
    if (options.readOnly && (options.create || options.demo || !options.importTsv.empty())) {
        error = "--read-only não combina com --create, --demo ou --import-tsv";
        return false;
    }
    // The largest request alone must fit: it costs about three times its body.
    if (options.bodyMemory == 0)
        options.bodyMemory = std::max<std::size_t>(std::size_t(1024) << 20, 3 * options.maxBody + (1u << 20));
    else if (options.bodyMemory < 3 * options.maxBody + (1u << 20)) {
        error = "--body-memory precisa de ao menos 3 x --max-body + 1 MiB ("
            + std::to_string((3 * options.maxBody >> 20) + 1)
            + " MiB): a maior requisição sozinha custa cerca de três vezes o seu corpo";
        return false;
    }
    if (options.tlsCert.empty() != options.tlsKey.empty()) {
        error = "--tls-cert e --tls-key vão juntos";
        return false;
    }
    return true;
}

} // namespace trd::server
