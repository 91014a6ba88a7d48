// What one key exchange costs each side, next to one GMP exponentiation in the same
// group: answering a request should cost less than four of those.

#include <benchmark/benchmark.h>
#include <gmp.h>

#include <string>
#include <vector>

#include "secure/dh_arith.h"
#include "secure/entropy.h"
#include "secure/key_agreement.h"
#include "secure/random_source.h"

namespace {

using velmora::AgreementLine;
using velmora::KeyAgreement;
constexpr const char* kChannel = "#bench";
const KeyAgreement::Time kNow = KeyAgreement::Time{} + std::chrono::hours(1);

// A holder that made the key alone and now sees the joiner "j" beside it.
void make_holder(KeyAgreement& holder) {
  holder.connection_started("bench pw", 0, "h", kChannel, kNow);
  holder.names({"h"}, kNow);
  holder.names({"h", "j"}, kNow);
}

std::vector<std::string> sent(KeyAgreement& machine, const KeyAgreement::Time now = kNow) {
  std::vector<std::string> out;
  while (const auto line = machine.next_line(now)) out.push_back(line->text);
  return out;
}

// The request of a joiner "j" that was welcomed by "h".
std::string request_text(KeyAgreement& joiner) {
  joiner.connection_started("bench pw", 0, "j", kChannel, kNow);
  joiner.names({"h", "j"}, kNow);
  joiner.text_received("h", "PRIVMSG", false, "@AUTHENTICATED", kNow);
  const auto later = kNow + KeyAgreement::kGather;
  joiner.tick(later);
  return sent(joiner, later).at(0);
}

void BM_HolderAnswersOneRequest(benchmark::State& state) {
  KeyAgreement holder(velmora::system_entropy()), joiner(velmora::system_entropy());
  make_holder(holder);
  const std::string request = request_text(joiner);
  std::size_t answered = 0;
  for (auto _ : state) {
    holder.text_received("j", "PRIVMSG", false, request, kNow);
    answered = sent(holder).size();
  }
  if (answered != 2) state.SkipWithError("no answer");
}
BENCHMARK(BM_HolderAnswersOneRequest)->Unit(benchmark::kMillisecond);

void BM_JoinerFromXpublicToAnnouncement(benchmark::State& state) {
  KeyAgreement holder(velmora::system_entropy());
  make_holder(holder);
  for (auto _ : state) {
    state.PauseTiming();
    KeyAgreement joiner(velmora::system_entropy());
    holder.text_received("j", "PRIVMSG", false, request_text(joiner), kNow);
    const std::vector<std::string> answers = sent(holder);
    state.ResumeTiming();
    for (const std::string& text : answers) joiner.text_received("h", "PRIVMSG", false, text, kNow);
    if (!joiner.holds_key()) state.SkipWithError("no key");
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
