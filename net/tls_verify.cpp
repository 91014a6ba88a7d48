#include "net/tls_verify.h"

#include <cctype>

#include <openssl/x509_vfy.h>

namespace velmora {

std::string normalize_fingerprint(std::string_view text) {
  std::string hex;
  for (char c : text) {
    if (c == ':' || c == ' ') continue;
    if (!std::isxdigit(static_cast<unsigned char>(c))) return {};
    hex += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return hex.size() == 64 ? hex : std::string{};
}

std::string display_fingerprint(std::string_view normalized) {
  std::string shown;
  for (std::size_t i = 0; i < normalized.size(); ++i) {
    if (i > 0 && i % 2 == 0) shown += ':';
    shown += static_cast<char>(std::toupper(static_cast<unsigned char>(normalized[i])));
  }
  return shown;
}

std::string verify_failure_reason(long code) {
  switch (code) {
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
      return "self-signed";
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
      return "signed by an unknown self-signed authority";
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
      return "issuer unknown";
    case X509_V_ERR_CERT_HAS_EXPIRED:
      return "expired";
    case X509_V_ERR_CERT_NOT_YET_VALID:
      return "not yet valid";
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
      return "issued for another name";
    case X509_V_ERR_CERT_REVOKED:
      return "revoked";
    default:
      return X509_verify_cert_error_string(code);
  }
}

std::string untrusted_certificate_text(const std::string& host, std::string_view reason) {
  return "TLS: certificate for " + host + " is not trusted: " + std::string(reason);
}

}  // namespace velmora
