#include "ServerOptions.h"

#include <algorithm>
#include <charconv>

namespace trd::server {

namespace {

bool toNumber(const std::string& text, long long& value)
{
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

bool toSeconds(const std::string& text, double& value)
{
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

} // namespace

const char* serverUsage()
{
    return "uso: trd-server --db ARQUIVO --backup COPIA\n"
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
    ServerOptions options;
    bool checkEveryGiven = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&]() -> const std::string* {
            if (i + 1 >= args.size()) {
                error = arg + " precisa de um valor";
                return nullptr;
            }
            return &args[++i];
        };
        if (arg == "--db") {
            const std::string* v = value();
            if (!v)
                return std::nullopt;
            options.db = *v;
        } else if (arg == "--pg") {
            const std::string* v = value();
            if (!v)
                return std::nullopt;
            options.pg = *v;
        } else if (arg == "--listen") {
            const std::string* v = value();
            if (!v)
                return std::nullopt;
            // An IPv6 address goes in brackets, as in a URL: [::1]:8211.
            const std::size_t colon = v->rfind(':');
            long long port = -1;
            std::string host = colon == std::string::npos ? std::string() : v->substr(0, colon);
            const bool bracketed = host.size() > 2 && host.front() == '[' && host.back() == ']';
            if (bracketed)
                host = host.substr(1, host.size() - 2);
            if (colon == std::string::npos || host.empty() || !toNumber(v->substr(colon + 1), port) || port < 0
                || port > 65535 || (!bracketed && host.find_first_of(":[]") != std::string::npos)
                || (bracketed && host.find_first_of("[]") != std::string::npos)) {
                error = "--listen espera HOST:PORTA (um endereço IPv6 entre colchetes: [::1]:8211), recebeu " + *v;
                return std::nullopt;
            }
            options.host = host;
            options.port = static_cast<int>(port);
        } else if (arg == "--threads") {
            const std::string* v = value();
            long long n = 0;
            if (!v || !toNumber(*v, n) || n < 1 || n > 1024) {
                error = "--threads espera um número de 1 a 1024";
                return std::nullopt;
            }
            options.threads = static_cast<int>(n);
        } else if (arg == "--max-body") {
            const std::string* v = value();
            long long n = 0;
            if (!v || !toNumber(*v, n) || n < 1 || n > 4096) {
                error = "--max-body espera um número de MiB de 1 a 4096";
                return std::nullopt;
            }
            options.maxBody = static_cast<std::size_t>(n) << 20;
        } else if (arg == "--body-memory") {
            const std::string* v = value();
            long long n = 0;
            if (!v || !toNumber(*v, n) || n < 1 || n > (1ll << 20)) {
                error = "--body-memory espera um número de MiB";
                return std::nullopt;
            }
            options.bodyMemory = static_cast<std::size_t>(n) << 20;
        } else if (arg == "--max-connections" || arg == "--max-per-address" || arg == "--request-timeout"
                   || arg == "--idle-timeout" || arg == "--write-timeout" || arg == "--statement-timeout") {
            const std::string* v = value();
            long long n = 0;
            const long long top = arg == "--max-connections" ? 1000000 : arg == "--max-per-address" ? 100000 : 86400;
            if (!v || !toNumber(*v, n) || n < 1 || n > top) {
                error = arg + " espera um número de 1 a " + std::to_string(top);
                return std::nullopt;
            }
            const int k = static_cast<int>(n);
            (arg == "--max-connections"       ? options.maxConnections
                 : arg == "--max-per-address" ? options.maxPerAddress
                 : arg == "--request-timeout" ? options.requestTimeoutS
                 : arg == "--idle-timeout"    ? options.idleTimeoutS
                 : arg == "--write-timeout"   ? options.writeTimeoutS
                                              : options.statementTimeoutS) = k;
        } else if (arg == "--session-timeout") {
            const std::string* v = value();
            long long n = 0;
            if (!v || !toNumber(*v, n) || n < 1 || n > 30LL * 86400) {
                error = "--session-timeout espera um número de segundos de 1 a 2592000";
                return std::nullopt;
            }
            options.sessionS = static_cast<int>(n);
        } else if (arg == "--users") {
            const std::string* v = value();
            if (!v)
                return std::nullopt;
            options.users = *v;
        } else if (arg == "--server-name") {
            const std::string* v = value();
            if (!v)
                return std::nullopt;
            if (v->empty() || v->find_first_of(" \t/@") != std::string::npos) {
                error = "--server-name espera um nome de computador (ex. trd.empresa.local), recebeu " + *v;
                return std::nullopt;
            }
            options.serverNames.push_back(*v);
        } else if (arg == "--tls-cert" || arg == "--tls-key") {
            const std::string* v = value();
            if (!v)
                return std::nullopt;
            (arg == "--tls-cert" ? options.tlsCert : options.tlsKey) = *v;
        } else if (arg == "--import-tsv") {
            const std::string* v = value();
            if (!v)
                return std::nullopt;
            options.importTsv = *v;
        } else if (arg == "--demo") {
            options.demo = true;
        } else if (arg == "--pg-statement-timeout" || arg == "--pg-lock-timeout") {
            const std::string* v = value();
            double seconds = 0;
            if (!v || !toSeconds(*v, seconds) || seconds < 0.01 || seconds > 86400) {
                error = arg + " espera um tempo em segundos (de 0.01 a 86400)";
                return std::nullopt;
            }
            (arg == "--pg-lock-timeout" ? options.pgLockTimeoutMs : options.pgStatementTimeoutMs) =
                static_cast<int>(seconds * 1000 + 0.5);
        } else if (arg == "--backup") {
            const std::string* v = value();
            if (!v)
                return std::nullopt;
            options.backup = *v;
        } else if (arg == "--prune-history") {
            const std::string* v = value();
            double days = 0;
            if (!v || !toSeconds(*v, days) || days < 0 || days > 1e6) {
                error = "--prune-history espera um número de dias (0 ou mais)";
                return std::nullopt;
            }
            options.pruneHistoryDays = days;
        } else if (arg == "--create") {
            options.create = true;
        } else if (arg == "--read-only") {
            options.readOnly = true;
        } else if (arg == "--full-check") {
            options.fullCheck = true;
        } else if (arg == "--check-every") {
            const std::string* v = value();
            long long n = -1;
            if (!v || !toNumber(*v, n) || n < 0 || n > 7 * 86400) {
                error = "--check-every espera um número de segundos de 0 a 604800 (0: só ao iniciar)";
                return std::nullopt;
            }
            options.checkEveryS = static_cast<int>(n);
            checkEveryGiven = true;
        } else if (arg == "--min-free") {
            const std::string* v = value();
            long long n = 0;
            if (!v || !toNumber(*v, n) || n < 0 || n > (1ll << 30)) {
                error = "--min-free espera um número de MiB";
                return std::nullopt;
            }
            options.minFreeMib = static_cast<std::uint64_t>(n);
        } else if (arg == "--quiet") {
            options.quiet = true;
        } else if (arg == "--mt-url" || arg == "--mt-source" || arg == "--mt-cache") {
            const std::string* v = value();
            if (!v)
                return std::nullopt;
            if (arg == "--mt-url" && v->rfind("http://", 0) != 0) {
                error = "--mt-url espera um endereço http:// (ex. http://127.0.0.1:2737), recebeu " + *v;
                return std::nullopt;
            }
            (arg == "--mt-url" ? options.mtUrl : arg == "--mt-source" ? options.mtSource : options.mtCache) = *v;
        } else if (arg == "--mt-language") {
            const std::string* v = value();
            const std::size_t equals = v ? v->find('=') : std::string::npos;
            if (!v || equals != 3 || equals + 1 >= v->size()) {
                error = "--mt-language espera IDIOMA=CODIGO (o código do idioma no servidor, três letras; o do motor)";
                return std::nullopt;
            }
            options.mtLanguages.emplace_back(v->substr(0, equals), v->substr(equals + 1));
        } else if (arg == "--mt-timeout") {
            const std::string* v = value();
            double seconds = 0;
            if (!v || !toSeconds(*v, seconds) || seconds < 0.05 || seconds > 600) {
                error = "--mt-timeout espera um tempo em segundos (de 0.05 a 600)";
                return std::nullopt;
            }
            options.mtTimeoutMs = static_cast<int>(seconds * 1000 + 0.5);
        } else if (arg == "--help" || arg == "-h") {
            options.help = true;
            return options;
        } else {
            error = "opção desconhecida: " + arg;
            return std::nullopt;
        }
    }
    if (options.db.empty() == options.pg.empty()) {
        error = options.db.empty() ? "--db (ou --pg) é obrigatório" : "use --db ou --pg, não os dois";
        return std::nullopt;
    }
    if (!options.pg.empty()
        && (options.create || options.readOnly || options.fullCheck || !options.backup.empty() || checkEveryGiven)) {
        error = "--create, --read-only, --full-check, --check-every e --backup valem só para --db (PostgreSQL: "
                "pg_dump e pg_amcheck, veja docs/server.md)";
        return std::nullopt;
    }
    if (!options.backup.empty() && (options.create || options.demo || !options.importTsv.empty())) {
        error = "--backup só copia um banco existente";
        return std::nullopt;
    }
    if (options.pruneHistoryDays >= 0
        && (options.create || options.demo || options.readOnly || !options.importTsv.empty()
            || !options.backup.empty())) {
        error = "--prune-history só limpa o histórico de um banco existente";
        return std::nullopt;
    }
    if (options.readOnly && (options.create || options.demo || !options.importTsv.empty())) {
        error = "--read-only não combina com --create, --demo ou --import-tsv";
        return std::nullopt;
    }
    // The largest request alone must fit: it costs about three times its body.
    if (options.bodyMemory == 0)
        options.bodyMemory = std::max<std::size_t>(std::size_t(1024) << 20, 3 * options.maxBody + (1u << 20));
    else if (options.bodyMemory < 3 * options.maxBody + (1u << 20)) {
        error = "--body-memory precisa de ao menos 3 x --max-body + 1 MiB ("
            + std::to_string((3 * options.maxBody >> 20) + 1)
            + " MiB): a maior requisição sozinha custa cerca de três vezes o seu corpo";
        return std::nullopt;
    }
    if (options.tlsCert.empty() != options.tlsKey.empty()) {
        error = "--tls-cert e --tls-key vão juntos";
        return std::nullopt;
    }
    return options;
}

} // namespace trd::server
