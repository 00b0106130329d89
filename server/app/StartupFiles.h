#pragma once
// Checks, before the server listens, the files it is given that hold secrets
// or prove its identity, so that a fault is reported in the operator's terms,
// naming the file and the command that mends it, instead of a library's
// error code or, worse, not at all:
//
// - a private file (the TLS key, the users file with its token-signing
//   secret) that other users of the machine can read or change is refused;
// - the TLS key must exist, be readable, be PEM, not be protected by a
//   password (nobody is there to type it) and belong to the certificate;
// - the certificate must exist and be PEM; one that has expired, is not yet
//   valid or expires within 30 days is served with a warning.
#include <string>
#include <vector>

namespace trd::server {

// Throws std::runtime_error when others may read or write the file at path;
// `what` names it for the operator ("a chave privada", "o arquivo de usuários").
void checkPrivateFile(const std::string& path, const std::string& what);

// Throws std::runtime_error for a certificate or key the server cannot use;
// returns the warnings to print (the certificate's validity).
std::vector<std::string> checkTlsFiles(const std::string& certFile, const std::string& keyFile);

} // namespace trd::server
