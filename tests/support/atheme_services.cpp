#include "tests/support/atheme_services.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>

#include "tests/support/eventually.h"
#include "tests/support/raw_client.h"

namespace velmora::test_support {
namespace {

constexpr const char* kProgram = "/usr/bin/atheme-services";

std::string block(const std::string& name, const std::string& nick) {
  return name + " { nick = \"" + nick + "\"; user = \"" + nick + "\"; host = \"" + kServicesName +
         "\"; real = \"" + nick + "\"; };\n";
}

std::string config(const InspircdServer& uplink) {
  std::string text;
  for (const char* module :
       {"protocol/inspircd", "backend/opensex", "crypto/pbkdf2v2", "nickserv/main",
        "nickserv/register", "nickserv/cert", "saslserv/main", "saslserv/plain",
        "saslserv/external"}) {
    text += std::string("loadmodule \"modules/") + module + "\";\n";
  }
  // auth = none: an account is usable as soon as it is registered, no mail is sent.
  text += std::string("serverinfo {\n  name = \"") + kServicesName +
          "\";\n  desc = \"Velmora test services\";\n  numeric = \"00A\";\n  recontime = 1;\n"
          "  netname = \"Test\";\n  hidehostsuffix = \"users.test\";\n  adminname = \"test\";\n"
          "  adminemail = \"test@localhost\";\n  registeremail = \"test@localhost\";\n"
          "  auth = none;\n  casemapping = rfc1459;\n  maxlogins = 5;\n  maxusers = 5;\n"
          "  mdlimit = 30;\n  emaillimit = 10;\n  emailtime = 300;\n"
          "  loglevel = { error; info; admin; network; };\n};\n";
  text += "uplink \"" + uplink.name() + "\" {\n  host = \"127.0.0.1\";\n  port = " +
          std::to_string(uplink.link_port()) + ";\n  password = \"" + kLinkPassword + "\";\n};\n";
  text += block("nickserv", "NickServ") + block("saslserv", "SaslServ");
  // A test registers several accounts at once; the default allows 5 a minute.
  text += "general { commit_interval = 5; ratelimit_uses = 100; ratelimit_period = 60; };\n";
  return text;
}

std::string plain_hex(const std::string& fingerprint) {
  std::string hex;
  for (char c : fingerprint) {
    if (std::isxdigit(static_cast<unsigned char>(c))) hex += static_cast<char>(std::tolower(c));
  }
  return hex;
}

}  // namespace

bool AthemeServices::installed() { return ::access(kProgram, X_OK) == 0; }

AthemeServices::AthemeServices(const InspircdServer& uplink) {
  folder_.write("atheme.conf", config(uplink));
  const bool started =
      process_.start({kProgram, "-n", "-c", folder_.file("atheme.conf"), "-D", folder_.path(),
                      "-l", folder_.file("atheme.log"), "-p", folder_.file("atheme.pid")},
                     folder_.file("atheme.out"), {}, false, 1);
  linked_ = started && eventually([&] {
              return folder_.read("atheme.log").find("finished synching with uplink") !=
                     std::string::npos;
            }, std::chrono::seconds(10));
}

bool AthemeServices::register_account(int port, const std::string& account,
                                      const std::string& password,
                                      const std::string& fingerprint) const {
  using namespace std::chrono_literals;
  RawClient user(port, account);
  // NickServ answers only a user the server has welcomed. Its replies set names in
  // bold (^B), so only the words around them are matched.
  if (!user.connected() || !user.wait_for(" 001 " + account + " ", 5s)) return false;
  user.say("PRIVMSG NickServ :REGISTER " + password + " " + account + "@example.com");
  if (!user.wait_for(" is now registered to ", 5s)) return false;
  if (fingerprint.empty()) return true;
  user.say("PRIVMSG NickServ :CERT ADD " + plain_hex(fingerprint));
  return user.wait_for(" to your fingerprint list", 5s);
}

}  // namespace velmora::test_support
