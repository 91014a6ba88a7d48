#include "tests/support/test_certificates.h"

#include <cstdio>
#include <cstdlib>

namespace velmora::test_support {
namespace {

// EC keys: an RSA key takes the openssl command about ten times as long to make.
constexpr const char* kKey = "-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";

}  // namespace

bool TestCertificates::run(const std::string& command) const {
  const std::string line = "cd '" + folder_.path() + "' && (" + command + ") >/dev/null 2>&1";
  return std::system(line.c_str()) == 0;
}

TestCertificates::TestCertificates() {
  const std::string ca = std::string("openssl req -x509 ") + kKey +
                         " -keyout ca.key -out ca.crt -days 2 -subj /CN=Velmora-Test-CA";
  auto signed_by_ca = [&](const std::string& name, const std::string& subject,
                          const std::string& alt_names) {
    return std::string("openssl req ") + kKey + " -keyout " + name + ".key -out " + name +
           ".csr -subj /CN=" + subject + " && openssl x509 -req -in " + name +
           ".csr -CA ca.crt -CAkey ca.key -CAcreateserial -days 2 -out " + name +
           ".crt -extfile <(printf 'subjectAltName=" + alt_names + "') && cat " + name + ".crt " +
           name + ".key > " + name + ".pem";
  };
  const std::string self = std::string("openssl req -x509 ") + kKey +
                           " -keyout self.key -out self.crt -days 2 -subj /CN=localhost"
                           " -addext subjectAltName=DNS:localhost,IP:127.0.0.1"
                           " && cat self.crt self.key > self.pem";
  ready_ = run(ca) &&
           run("bash -c \"" + signed_by_ca("server", "localhost", "DNS:localhost,IP:127.0.0.1") + "\"") &&
           run("bash -c \"" + signed_by_ca("other", "other.example", "DNS:other.example") + "\"") &&
           run("bash -c \"" + signed_by_ca("client", "velmora-client", "DNS:velmora-client") + "\"") &&
           run(self);
}

std::string TestCertificates::fingerprint(const std::string& pem) const {
  const std::string command = "openssl x509 -in '" + pem + "' -noout -fingerprint -sha256";
  FILE* out = ::popen(command.c_str(), "r");
  if (!out) return {};
  char text[256] = {};
  const bool got = std::fgets(text, sizeof text, out) != nullptr;
  ::pclose(out);
  std::string line = got ? text : "";
  const std::size_t eq = line.find('=');
  if (eq == std::string::npos) return {};
  line = line.substr(eq + 1);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  return line;
}

}  // namespace velmora::test_support
