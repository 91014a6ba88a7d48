#include "tests/support/account_services.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>

#include "tests/support/eventually.h"
#include "tests/support/raw_client.h"

namespace velmora::test_support {
namespace {

constexpr const char* kAtheme = "/usr/bin/atheme-services";
constexpr const char* kAnope = "/usr/sbin/anope";

// InspIRCd's major version, from "InspIRCd-3.15.0-debian"; 0 when it cannot be told.
int inspircd_major_version() {
  static const int major = [] {
    std::FILE* pipe = ::popen("/usr/sbin/inspircd --version 2>/dev/null", "r");
    if (pipe == nullptr) return 0;
    int version = 0;
    if (std::fscanf(pipe, "InspIRCd-%d", &version) != 1) version = 0;
    ::pclose(pipe);
    return version;
  }();
  return major;
}

// Atheme links to InspIRCd up to 3; from 4 on, Anope does.
bool anope_links() { return inspircd_major_version() >= 4; }

std::string block(const std::string& name, const std::string& nick) {
  return name + " { nick = \"" + nick + "\"; user = \"" + nick + "\"; host = \"" + kServicesName +
         "\"; real = \"" + nick + "\"; };\n";
}

std::string atheme_config(const InspircdServer& uplink) {
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

class Atheme : public AccountServices {
public:
  explicit Atheme(const InspircdServer& uplink)
      : AccountServices({" is now registered to ", " to your fingerprint list"}) {
    folder_.write("atheme.conf", atheme_config(uplink));
    run({kAtheme, "-n", "-c", folder_.file("atheme.conf"), "-D", folder_.path(), "-l",
         folder_.file("atheme.log"), "-p", folder_.file("atheme.pid")},
        "finished synching with uplink");
  }
  std::string log() const override { return folder_.read("atheme.log"); }
};

// Only what the tests use: NickServ with REGISTER (no mail, no waiting) and CERT, and
// SASL, whose mechanisms Anope announces to the server by itself.
std::string anope_config(const InspircdServer& uplink, const std::string& folder) {
  return "uplink { host = \"127.0.0.1\"; ipv6 = no; ssl = no; port = " +
         std::to_string(uplink.link_port()) + "; password = \"" + kLinkPassword + "\"; }\n"
         "serverinfo { name = \"" + kServicesName + "\"; description = \"Velmora test services\";"
         " pid = \"" + folder + "/anope.pid\"; motd = \"" + folder + "/motd\"; }\n"
         "module { name = \"inspircd3\"; }\n"
         "networkinfo { networkname = \"Test\"; nicklen = 31; userlen = 10; hostlen = 64;"
         " chanlen = 32; modelistsize = 100; vhost_chars = \"abcdefghijklmnopqrstuvwxyz.-\";"
         " allow_undotted_vhosts = false; disallow_start_or_end = \".-\"; }\n"
         "options { casemap = \"ascii\"; readtimeout = 5s; timeoutcheck = 3s; retrywait = 1s;"
         " updatetimeout = 5s; expiretimeout = 30m; badpasslimit = 0; badpasstimeout = 1h; }\n"
         "module { name = \"db_flatfile\"; database = \"anope.db\"; fork = no; }\n"
         "module { name = \"enc_sha256\"; }\n"
         "service { nick = \"NickServ\"; user = \"services\"; host = \"" + kServicesName +
         "\"; gecos = \"Nickname Registration Service\"; }\n"
         "module { name = \"nickserv\"; client = \"NickServ\"; forceemail = no; regdelay = 0;"
         " expire = 0; passlen = 32; kill = 60s; killquick = 20s; enforceruser = \"enforcer\";"
         " enforcerhost = \"" + kServicesName + "\"; releasetimeout = 1m;"
         " guestnickprefix = \"Guest\"; defaults = \"hide_email\"; }\n"
         "module { name = \"ns_register\"; registration = \"none\"; }\n"
         "command { service = \"NickServ\"; name = \"REGISTER\"; command = \"nickserv/register\"; }\n"
         "module { name = \"ns_cert\"; max = 5; }\n"
         "command { service = \"NickServ\"; name = \"CERT\"; command = \"nickserv/cert\"; }\n"
         "module { name = \"m_sasl\"; }\n"
         "log { target = \"services.log\"; admin = \"*\"; servers = \"*\"; users = \"*\"; other = \"*\"; }\n";
}

class Anope : public AccountServices {
public:
  explicit Anope(const InspircdServer& uplink)
      : AccountServices({" registered.", " added to "}) {
    folder_.write("anope.conf", anope_config(uplink, folder_.path()));
    folder_.write("motd", "Velmora test services\n");
    std::filesystem::create_directories(folder_.file("logs"));
    run({kAnope, "--nofork", "--confdir=" + folder_.path(), "--config=anope.conf",
         "--dbdir=" + folder_.path(), "--logdir=" + folder_.file("logs"),
         "--modulesdir=/usr/lib/anope", "--localedir=/usr/share/anope/locale"},
        "is done syncing");
  }
  // Anope names its log by the day: services.log.20261209.
  std::string log() const override {
    std::string text;
    for (const auto& entry : std::filesystem::directory_iterator(folder_.file("logs")))
      text += folder_.read("logs/" + entry.path().filename().string());
    return text;
  }
};

}  // namespace

std::string AccountServices::missing() {
  const char* program = anope_links() ? kAnope : kAtheme;
  if (::access(program, X_OK) != 0)
    return std::string(program) + " is not installed (scripts/install-deps.sh installs it)";
  return {};
}

std::unique_ptr<AccountServices> AccountServices::start(const InspircdServer& uplink) {
  if (anope_links()) return std::make_unique<Anope>(uplink);
  return std::make_unique<Atheme>(uplink);
}

void AccountServices::run(const std::vector<std::string>& argv, const std::string& synched) {
  const bool started = process_.start(argv, folder_.file("output.log"), {}, false, 1);
  linked_ = started && eventually([&] { return log().find(synched) != std::string::npos; },
                                  std::chrono::seconds(10));
}

bool AccountServices::register_account(const InspircdServer& server, const std::string& account,
                                       const std::string& password,
                                       const std::string& client_pem) const {
  using namespace std::chrono_literals;
  RawClient user(client_pem.empty() ? server.port() : server.tls_port(), account, client_pem);
  // NickServ answers only a user the server has welcomed. Its replies set names in
  // bold (^B), so only the words around them are matched.
  if (!user.connected() || !user.wait_for(" 001 " + account + " ", 5s)) return false;
  user.say("PRIVMSG NickServ :REGISTER " + password + " " + account + "@example.com");
  if (!user.wait_for(replies_.registered, 5s)) return false;
  if (client_pem.empty()) return true;
  user.say("PRIVMSG NickServ :CERT ADD");
  return user.wait_for(replies_.certificate_added, 5s);
}

}  // namespace velmora::test_support
