#pragma once

// What every fuzz harness shares: the property check and the split of one
// input into fields.
//
// A harness defines LLVMFuzzerTestOneInput. Built with clang and
// -fsanitize=fuzzer it is a libFuzzer program; built with replaymain.cpp it
// runs the files of its seed corpus once each, as a test of the suite.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

// A property that must hold for every input. A failure prints the property
// and aborts, which libFuzzer reports as a crash (saving the input) and the
// replay as a failed test.
#define FUZZ_CHECK(condition)                                          \
  do {                                                                 \
    if (!(condition)) ::fuzzsupport::Fail(#condition, __FILE__, __LINE__); \
  } while (false)

namespace fuzzsupport {

[[noreturn]] inline void Fail(const char* what, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: property does not hold: %s\n", file, line, what);
  std::fflush(stderr);
  std::abort();
}

// Fields are separated by the byte 0x1E (record separator), which none of
// the texts under test need. Gives exactly `count` fields: missing ones are
// empty, and the last one takes the rest of the input, separators included.
inline std::vector<std::string_view> Fields(const std::uint8_t* data, std::size_t size,
                                            std::size_t count) {
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  std::vector<std::string_view> fields;
  while (fields.size() + 1 < count) {
    const std::size_t at = rest.find('\x1e');
    if (at == std::string_view::npos) break;
    fields.push_back(rest.substr(0, at));
    rest.remove_prefix(at + 1);
  }
  fields.push_back(rest);
  while (fields.size() < count) fields.emplace_back();
  return fields;
}

inline bool Contains(std::string_view text, std::string_view what) {
  return text.find(what) != std::string_view::npos;
}

}  // namespace fuzzsupport
