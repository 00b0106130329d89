#pragma once
// The command line of trd-client: --open (open the translation module at
// start-up), --server [https://]HOST:PORT (else $TRD_SERVER, else the default)
// and --tls-ca FILE (TLS, trusting only the authorities of FILE).
#include <QString>
#include <QStringList>

namespace trd {

struct ClientOptions {
    bool open = false;
    QString server; // as given; empty = the default address
    QString error; // why the command line was refused
    bool help = false;
    QString helpText;
};

// Parses arguments (argv, program name first) and the environment's TRD_SERVER.
// On success WebURL/WebPort hold the server's address.
ClientOptions ParseClientOptions(const QStringList& arguments);

// The names the client's settings file is kept under: on Linux
// ~/.config/trd/trd-client.conf.
inline constexpr const char* ClientOrganization = "trd";
inline constexpr const char* ClientApplication = "trd-client";
void SetClientIdentity();

} // namespace trd
