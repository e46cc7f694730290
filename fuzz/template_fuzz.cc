// libFuzzer target: the window template reader and the type data inside it. Any input either
// fails cleanly or parses into a template whose serialized form reads back to the same form
// (the reader ignores slots and zero words, so the first form need not equal the input).
#include <cstdlib>
#include <span>

#include "runtime/type_data.h"
#include "runtime/window_template.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vorel::runtime;
  std::span<const std::uint8_t> in(data, size);
  auto parsed = ParseWindowTemplate(in);
  if (parsed) {
    Bytes canonical = SerializeWindowTemplate(*parsed);
    auto reread = ParseWindowTemplate(canonical);
    if (!reread || SerializeWindowTemplate(*reread) != canonical) std::abort();
    for (const auto& w : parsed->windows) {
      for (const auto& c : w.controls) {
        auto td = ParseTypeData(c.type_data);
        if (td) (void)ParseColumns(td->GetBytes(kKeyColumns));
      }
    }
  }
  auto td = ParseTypeData(in);
  if (td && SerializeTypeData(*td).size() > size) std::abort();
  (void)ParseColumns(in);
  return 0;
}
