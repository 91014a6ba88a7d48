// What one key exchange costs each side, next to one GMP exponentiation in the same
// group: answering a request should cost less than four of those.

#include <benchmark/benchmark.h>
#include <gmp.h>

#include <string>
#include <vector>

#include "secure/dh_arith.h"
#include "secure/key_exchange.h"
#include "secure/peer_key_table.h"
#include "secure/random_source.h"

namespace {

class SilentEnvironment : public velmora::ExchangeEnvironment {
public:
  explicit SilentEnvironment(std::string nick) : nick_(std::move(nick)) {}
  void send_message(const std::string&, const std::string&, const std::string& text) override {
    sent.push_back(text);
  }
  void set_status(const std::string&, int) override {}
  std::string current_nick() const override { return nick_; }
  std::string current_channel() const override { return "#bench"; }
  std::vector<std::string> channel_users() const override { return {"h", "j"}; }
  int max_users() const override { return 0; }
  void mark_user_list_dirty() override {}
  std::vector<std::string> sent;

private:
  std::string nick_;
};

struct Side {
  explicit Side(const std::string& nick) : env(nick) { security.begin_connection("bench pw"); }
  SilentEnvironment env;
  velmora::ChannelSecurity security;
  velmora::PeerKeyTable peers;
  velmora::KeyExchange exchange{security, peers, env};
};

std::string request_text() {
  Side joiner("j");
  joiner.exchange.initiate_exchange("h");
  return joiner.env.sent.at(0);
}

void BM_HolderAnswersOneRequest(benchmark::State& state) {
  Side holder("h");
  holder.security.set_channel_key(velmora::random_string());
  const std::string request = request_text();
  for (auto _ : state) {
    holder.env.sent.clear();
    holder.exchange.handle_message("j", "PRIVMSG", request);
    benchmark::DoNotOptimize(holder.env.sent);
  }
  if (holder.env.sent.size() != 2) state.SkipWithError("no answer");
}
BENCHMARK(BM_HolderAnswersOneRequest)->Unit(benchmark::kMillisecond);

void BM_JoinerFromXpublicToAnnouncement(benchmark::State& state) {
  Side holder("h");
  holder.security.set_channel_key(velmora::random_string());
  for (auto _ : state) {
    state.PauseTiming();
    Side joiner("j");
    joiner.exchange.initiate_exchange("h");
    holder.env.sent.clear();
    holder.exchange.handle_message("j", "PRIVMSG", joiner.env.sent.at(0));
    const std::vector<std::string> answers = holder.env.sent;
    state.ResumeTiming();
    for (const std::string& text : answers) joiner.exchange.handle_message("h", "PRIVMSG", text);
    if (joiner.security.channel_key().empty()) state.SkipWithError("no key");
  }
}
BENCHMARK(BM_JoinerFromXpublicToAnnouncement)->Unit(benchmark::kMillisecond);

void BM_GmpPowm160BitExponent(benchmark::State& state) {
  mpz_t prime, base, exponent, result;
  mpz_init_set_str(prime, velmora::dh_prime.c_str(), 10);
  mpz_init_set_str(base, velmora::mod_pow_decimal("2", velmora::random_integer(160),
                                                  velmora::dh_prime).c_str(), 10);
  mpz_init_set_str(exponent, velmora::random_integer(160).c_str(), 10);
  mpz_init(result);
  for (auto _ : state) {
    mpz_powm(result, base, exponent, prime);
    benchmark::DoNotOptimize(result);
  }
  mpz_clears(prime, base, exponent, result, nullptr);
}
BENCHMARK(BM_GmpPowm160BitExponent)->Unit(benchmark::kMillisecond);

void BM_ModPowDecimal160BitExponent(benchmark::State& state) {
  const std::string base =
      velmora::mod_pow_decimal("2", velmora::random_integer(160), velmora::dh_prime);
  const std::string exponent = velmora::random_integer(160);
  for (auto _ : state) {
    benchmark::DoNotOptimize(velmora::mod_pow_decimal(base, exponent, velmora::dh_prime));
  }
}
BENCHMARK(BM_ModPowDecimal160BitExponent)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
