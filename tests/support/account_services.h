#pragma once
// Debian's IRC services for one test, linked to a local InspIRCd started with
// `services`: NickServ to register accounts (and add client certificates to them) and
// SASL PLAIN and EXTERNAL. Their config, database and log live in a temporary folder;
// they run in the foreground and are stopped by their PID.
//
// Which package links depends on the release: Atheme 7.2 speaks InspIRCd's link
// protocol 1202, which InspIRCd 3 (Debian 12) accepts and InspIRCd 4 (Debian 13)
// refuses ("protocol versions 1205 to 1206 are supported"); Anope 2.0's inspircd3
// module speaks 1205, which InspIRCd 4 accepts.

#include <memory>
#include <string>
#include <vector>

#include "tests/support/inspircd_server.h"
#include "tests/support/server_process.h"
#include "tests/support/temp_folder.h"

namespace velmora::test_support {

class AccountServices {
public:
  // Why the services for the installed InspIRCd cannot run here (for GTEST_SKIP);
  // empty when they can.
  static std::string missing();
  // The services for the installed InspIRCd, started and linking to `uplink`.
  static std::unique_ptr<AccountServices> start(const InspircdServer& uplink);

  virtual ~AccountServices() = default;
  AccountServices(const AccountServices&) = delete;
  AccountServices& operator=(const AccountServices&) = delete;

  // True once the link is up and the burst is over, within a few seconds.
  bool linked() const { return linked_; }
  // What they logged: for a test that fails.
  virtual std::string log() const = 0;

  // Registers `account` with `password` through NickServ, as a user of that nick on
  // `server`. With `client_pem` the user comes over TLS presenting that certificate,
  // and adds its fingerprint to the account (CertFP, SASL EXTERNAL).
  bool register_account(const InspircdServer& server, const std::string& account,
                        const std::string& password, const std::string& client_pem = "") const;

protected:
  // NickServ's answers, as far as they are the same in every language setting.
  struct Replies {
    const char* registered;
    const char* certificate_added;
  };
  explicit AccountServices(Replies replies) : replies_(replies) {}
  // Starts `argv` and waits until `log()` holds `synched`.
  void run(const std::vector<std::string>& argv, const std::string& synched);

  TempFolder folder_;
  ServerProcess process_;
  bool linked_ = false;

private:
  Replies replies_;
};

}  // namespace velmora::test_support
