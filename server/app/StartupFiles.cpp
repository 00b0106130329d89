#include "StartupFiles.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <stdexcept>

namespace trd::server {

namespace {

template <typename T, void (*Free)(T*)>
struct Freer {
    void operator()(T* p) const { Free(p); }
};
using Bio = std::unique_ptr<BIO, Freer<BIO, BIO_free_all>>;
using Certificate = std::unique_ptr<X509, Freer<X509, X509_free>>;
using Key = std::unique_ptr<EVP_PKEY, Freer<EVP_PKEY, EVP_PKEY_free>>;

[[noreturn]] void refuse(const std::string& message)
{
    ERR_clear_error();
    throw std::runtime_error(message);
}

// Opens a file the server must read, or refuses naming it and why not.
Bio openForReading(const std::string& path, const std::string& what, const std::string& option)
{
    struct stat st { };
    if (::stat(path.c_str(), &st) != 0)
        refuse(what + " " + path + " não existe (" + option + "); confira o caminho");
    if (!S_ISREG(st.st_mode))
        refuse(what + " " + path + " não é um arquivo comum (" + option + ")");
    Bio bio(BIO_new_file(path.c_str(), "r"));
    if (!bio)
        refuse("não foi possível ler " + what + " " + path + " (" + std::strerror(errno)
               + "): o servidor precisa poder lê-lo");
    return bio;
}

// The date of an ASN.1 time as YYYY-MM-DD, and the days from now to it.
std::string dateOf(const ASN1_TIME* time, int& daysFromNow)
{
    int days = 0, seconds = 0;
    ASN1_TIME_diff(&days, &seconds, nullptr, time);
    daysFromNow = days;
    std::tm tm{};
    if (ASN1_TIME_to_tm(time, &tm) != 1)
        return "?";
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
    return text;
}

// Called by OpenSSL when the key is encrypted: there is no one to ask.
int noPassword(char*, int, int, void* asked)
{
    *static_cast<bool*>(asked) = true;
    return -1;
}

} // namespace

void checkPrivateFile(const std::string& path, const std::string& what)
{
    struct stat st { };
    if (::stat(path.c_str(), &st) != 0)
        return; // a missing file is reported where it is opened
    const unsigned others = st.st_mode & 0066;
    if (others == 0)
        return;
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    throw std::runtime_error(what + " " + path + " pode ser " + ((others & 0044) ? "lido" : "alterado")
                             + " por outros usuários deste computador (permissões " + mode
                             + "); proteja-o com: chmod 600 " + path);
}

std::vector<std::string> checkTlsFiles(const std::string& certFile, const std::string& keyFile)
{
    std::vector<std::string> warnings;
    Bio certBio = openForReading(certFile, "o certificado", "--tls-cert");
    Certificate certificate(PEM_read_bio_X509(certBio.get(), nullptr, nullptr, nullptr));
    if (!certificate)
        refuse("o arquivo " + certFile
               + " (--tls-cert) não é um certificado em formato PEM (\"-----BEGIN "
                 "CERTIFICATE-----\")");

    Bio keyBio = openForReading(keyFile, "a chave privada", "--tls-key");
    checkPrivateFile(keyFile, "a chave privada");
    bool asked = false;
    Key key(PEM_read_bio_PrivateKey(keyBio.get(), nullptr, noPassword, &asked));
    if (!key && asked)
        refuse("a chave privada " + keyFile
               + " está protegida por senha, que o servidor não tem como digitar; "
                 "grave uma cópia sem senha e use-a: openssl pkey -in "
               + keyFile
               + " -out CHAVE-SEM-SENHA.pem && "
                 "chmod 600 CHAVE-SEM-SENHA.pem");
    if (!key)
        refuse("o arquivo " + keyFile
               + " (--tls-key) não é uma chave privada em formato PEM (\"-----BEGIN "
                 "PRIVATE KEY-----\")");
    if (X509_check_private_key(certificate.get(), key.get()) != 1)
        refuse("a chave privada " + keyFile + " não é a do certificado " + certFile
               + "; use a chave gerada com esse certificado");

    int days = 0;
    const std::string until = dateOf(X509_get0_notAfter(certificate.get()), days);
    if (X509_cmp_current_time(X509_get0_notAfter(certificate.get())) <= 0)
        warnings.push_back("o certificado " + certFile + " venceu em " + until
                           + ": os clientes vão recusar a conexão até que ele seja trocado");
    else if (days < 30)
        warnings.push_back("o certificado " + certFile + " vence em " + std::to_string(days)
                           + (days == 1 ? " dia" : " dias") + " (" + until
                           + "): troque-o antes disso, ou os clientes vão recusar a conexão");
    int startsIn = 0;
    const std::string from = dateOf(X509_get0_notBefore(certificate.get()), startsIn);
    if (X509_cmp_current_time(X509_get0_notBefore(certificate.get())) > 0)
        warnings.push_back("o certificado " + certFile + " só vale a partir de " + from
                           + ": até lá os clientes vão recusar a conexão (confira o relógio deste computador)");
    ERR_clear_error();
    return warnings;
}

} // namespace trd::server
