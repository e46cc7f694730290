#ifndef VOREL_TESTS_TESTING_PARAM_NAME_H_
#define VOREL_TESTS_TESTING_PARAM_NAME_H_

// Readable, stable names for parameterised tests: GoogleTest's default name for a case that is a
// struct is its bytes, pointers included, which change from build to build.
//
//   INSTANTIATE_TEST_SUITE_P(Table, MyTest, ::testing::Values(...),
//                            testing_names::ByField<&Case::name>());

#include <cctype>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

namespace vorel::testing_names {

// "lower-case hex" -> "LowerCaseHex": letters and digits kept, each word capitalised.
inline std::string Identifier(std::string_view words) {
  std::string out;
  bool word_start = true;
  for (unsigned char c : words) {
    if (std::isalnum(c)) {
      out += static_cast<char>(word_start ? std::toupper(c) : c);
      word_start = false;
    } else {
      word_start = true;
    }
  }
  return out.empty() ? "Unnamed" : out;
}

// Name generator that takes a case's name from one of its fields.
template <auto Field>
struct ByField {
  template <typename Info>
  std::string operator()(const Info& info) const {
    return Identifier(info.param.*Field);
  }
};

}  // namespace vorel::testing_names

#endif  // VOREL_TESTS_TESTING_PARAM_NAME_H_
