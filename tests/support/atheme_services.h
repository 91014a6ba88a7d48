#pragma once
// Debian's Atheme services for one test, linked to a local InspIRCd started with
// `services`: NickServ to register accounts (and add certificate fingerprints to
// them) and SaslServ answering PLAIN and EXTERNAL. Its config, database and log live
// in a temporary folder; it runs in the foreground and is stopped by its PID.

#include <string>

#include "tests/support/inspircd_server.h"
#include "tests/support/server_process.h"
#include "tests/support/temp_folder.h"

namespace velmora::test_support {

class AthemeServices {
public:
  static bool installed();

  explicit AthemeServices(const InspircdServer& uplink);
  AthemeServices(const AthemeServices&) = delete;
  AthemeServices& operator=(const AthemeServices&) = delete;

  // True once the link is up and the burst is over, within a few seconds.
  bool linked() const { return linked_; }
  // What it wrote: for a test that fails.
  std::string log() const { return folder_.read("atheme.log"); }

  // Registers `account` with `password` through NickServ, as a user of that nick on
  // `port`, and adds `fingerprint` (SHA-256, any case, colons or not) when given.
  bool register_account(int port, const std::string& account, const std::string& password,
                        const std::string& fingerprint = "") const;

private:
  TempFolder folder_;
  ServerProcess process_;
  bool linked_ = false;
};

}  // namespace velmora::test_support
