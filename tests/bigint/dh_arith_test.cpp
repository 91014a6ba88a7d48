#include "secure/dh_arith.h"

#include <gmp.h>
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace velmora {
namespace {

const char* const kPrimeDigits =
    "17976931348623159077083915679378745319786029604875601170644442368419718021615851936894"
    "78337958649255415021805654859805036464405481992391000507928770033558166392295531362390"
    "76508735759914822574862575007425302077447712589550957937778424442426617334727629299387"
    "668709205606050270810842907692932019128194467627007";

struct KnownAnswer {
  const char* base;
  const char* exponent;
  const char* modulus;
  const char* result;
};

// Computed independently of this code.
const KnownAnswer kKnownAnswers[] = {
    {"2", "10", "1000", "24"},
    {"5", "0", "7", "1"},
    {"2", "1", kPrimeDigits, "2"},
    {"123456789", "987654321", kPrimeDigits,
     "26931698182380490796620272329907216187102961203995472283669601196117382298860184594718"
     "43949715528832387193162991543376168847000999789997107886579440254154479219269659901720"
     "94955005645726027042130603838731927845725804749240659310420600812474182211887304739754"
     "89732668504792152536295204143782000517195041272742"},
    {"72588981907442438822184304618844015967322042754823456446121044575362073900441572327869"
     "43614040909618609999894764718939377011157479168715685045281215024609863035384091230554"
     "78105863949896576397673026744751779752699188817122242164588312126598041796839454312642"
     "97031170347071645637681326978694926307139770120101",
     "1355887463960671257551741848264335655808626189159", kPrimeDigits,
     "50256041879417176417172276115117662801839354017534634220627028122781679402103418540192"
     "75779390151769572172974216085947208461595039623352802717502481706995397536671190172596"
     "15011321021687542560712122173571390688376398955771997419709386050196638885204993809217"
     "40885463106158613812578894455327575483278356130176"},
};

TEST(ModPowDecimal, KnownAnswers) {
  for (const auto& k : kKnownAnswers) {
    EXPECT_EQ(mod_pow_decimal(k.base, k.exponent, k.modulus), k.result) << k.base;
  }
}

TEST(ModPowDecimal, GeneratorAndPrime) {
  EXPECT_EQ(dh_generator, "2");
  EXPECT_EQ(dh_prime, kPrimeDigits);
  EXPECT_EQ(mod_pow_decimal(dh_generator, "1", dh_prime), "2");
}

// p = 2^1024 - 2^960 - 1 + 2^64 * (floor(2^894 * pi) + 129093), with pi from Machin's
// formula pi = 16 atan(1/5) - 4 atan(1/239) in fixed point with guard bits.
void arctan_inverse_fixed(mpz_t out, unsigned long x, unsigned bits) {
  mpz_t term, sum, x2;
  mpz_inits(term, sum, x2, nullptr);
  mpz_set_ui(x2, x * x);
  mpz_ui_pow_ui(term, 2, bits);
  mpz_tdiv_q_ui(term, term, x);  // 1/x
  for (unsigned long k = 0; mpz_sgn(term) != 0; ++k) {
    mpz_t part;
    mpz_init(part);
    mpz_tdiv_q_ui(part, term, 2 * k + 1);
    if (k % 2 == 0) mpz_add(sum, sum, part); else mpz_sub(sum, sum, part);
    mpz_tdiv_q(term, term, x2);
    mpz_clear(part);
  }
  mpz_set(out, sum);
  mpz_clears(term, sum, x2, nullptr);
}

TEST(ModPowDecimal, PrimeMatchesItsDefinition) {
  constexpr unsigned guard = 64, bits = 894 + guard;
  mpz_t a, b, pi, p, t;
  mpz_inits(a, b, pi, p, t, nullptr);
  arctan_inverse_fixed(a, 5, bits);
  arctan_inverse_fixed(b, 239, bits);
  mpz_mul_ui(pi, a, 16);
  mpz_submul_ui(pi, b, 4);
  mpz_tdiv_q_2exp(pi, pi, guard);  // floor(2^894 * pi); the guard bits absorb rounding
  mpz_add_ui(pi, pi, 129093);
  mpz_mul_2exp(p, pi, 64);
  mpz_ui_pow_ui(t, 2, 1024);
  mpz_add(p, p, t);
  mpz_ui_pow_ui(t, 2, 960);
  mpz_sub(p, p, t);
  mpz_sub_ui(p, p, 1);
  char* digits = mpz_get_str(nullptr, 10, p);
  EXPECT_EQ(dh_prime, digits);
  EXPECT_EQ(dh_prime.size(), 309u);
  EXPECT_EQ(dh_prime.substr(0, 20), "17976931348623159077");
  EXPECT_NE(mpz_probab_prime_p(p, 20), 0);
  free(digits);
  mpz_clears(a, b, pi, p, t, nullptr);
}

TEST(ModPowDecimal, RejectsTextThatIsNotANumber) {
  const char* bad[] = {"", "-", "+", "12a", " 12", "12 ", "1.5", "--1", "+-1", "0x10", "1e3"};
  for (const char* text : bad) {
    EXPECT_EQ(mod_pow_decimal(text, "3", "7"), "") << '"' << text << '"';
    EXPECT_EQ(mod_pow_decimal("3", text, "7"), "") << '"' << text << '"';
    EXPECT_EQ(mod_pow_decimal("3", "3", text), "") << '"' << text << '"';
  }
  EXPECT_EQ(mod_pow_decimal(std::string("12\0" "3", 4), "1", "100"), "");
}

TEST(ModPowDecimal, ZeroModulusGivesEmptyResult) {
  EXPECT_EQ(mod_pow_decimal("3", "3", "0"), "");
  EXPECT_EQ(mod_pow_decimal("3", "3", "-000"), "");
}

TEST(ModPowDecimal, SignedAndPaddedOperands) {
  struct Case { const char *b, *e, *m, *want; };
  const Case cases[] = {
      {"+2", "+10", "+1000", "24"},     {"0002", "010", "01000", "24"},
      {"-2", "3", "7", "6"},            {"2", "3", "-7", "1"},
      {"3", "-1", "7", "5"},            {"2", "-1", "8", "0"},  // no inverse: stays 0
      {"-0", "5", "7", "0"},            {"14", "0", "7", "0"},
      {"3", "5", "1", "0"},             {"9", "0", "7", "1"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(mod_pow_decimal(c.b, c.e, c.m), c.want) << c.b << "^" << c.e << " mod " << c.m;
  }
}

TEST(IsValidPublicValue, Bounds) {
  std::string p_minus_1 = dh_prime, p_minus_2 = dh_prime;
  p_minus_1.back() = '6';
  p_minus_2.back() = '5';
  EXPECT_FALSE(is_valid_public_value("0"));
  EXPECT_FALSE(is_valid_public_value("1"));
  EXPECT_TRUE(is_valid_public_value("2"));
  EXPECT_TRUE(is_valid_public_value("0002"));
  EXPECT_TRUE(is_valid_public_value(p_minus_2));
  EXPECT_FALSE(is_valid_public_value(p_minus_1));
  EXPECT_FALSE(is_valid_public_value(dh_prime));
  EXPECT_FALSE(is_valid_public_value(dh_prime + "0"));
  EXPECT_FALSE(is_valid_public_value("-5"));
  EXPECT_FALSE(is_valid_public_value(""));
  EXPECT_FALSE(is_valid_public_value("12a"));
  EXPECT_TRUE(is_valid_public_value(mod_pow_decimal("2", "987654321", dh_prime)));
}

// The key exchange may run on several threads; each call owns all its numbers.
TEST(ModPowDecimal, ConcurrentCallsAgree) {
  const std::string want = kKnownAnswers[4].result;
  std::vector<std::thread> threads;
  std::vector<std::string> got(4);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 5; ++i) {
        got[t] = mod_pow_decimal(kKnownAnswers[4].base, kKnownAnswers[4].exponent, dh_prime);
        if (got[t] != want) return;
      }
    });
  }
  for (auto& th : threads) th.join();
  for (const auto& g : got) EXPECT_EQ(g, want);
}

}  // namespace
}  // namespace velmora
