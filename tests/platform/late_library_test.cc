// Libraries opened by name when first needed.
#include "platform/late_library.h"

#include <dlfcn.h>
#include <fftw3.h>  // for the function types only: the test does not link FFTW
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace vorel::platform {
namespace {

// FFTW, opened by name: a library this test program does not link, with a planner that runs
// code all over the file and keeps its state in its writable data.
class LateFftw {
 public:
  LateFftw() : library_({"libfftw3f.so.3"}) {
    library_.Resolve(plan_, "fftwf_plan_dft_r2c_1d");
    library_.Resolve(execute_, "fftwf_execute");
    library_.Resolve(destroy_, "fftwf_destroy_plan");
  }
  bool ok() const { return library_.ok(); }
  const std::string& error() const { return library_.error(); }

  // The band holding most of a 64-point sine with 6 periods: 6 when FFTW works.
  int PeakBand() {
    constexpr int kSize = 64;
    std::vector<float> in(kSize);
    std::vector<fftwf_complex> out(kSize / 2 + 1);
    fftwf_plan plan = plan_(kSize, in.data(), out.data(), FFTW_ESTIMATE);
    for (int i = 0; i < kSize; ++i) in[i] = static_cast<float>(std::sin(2 * M_PI * 6 * i / kSize));
    execute_(plan);
    destroy_(plan);
    int peak = 0;
    for (int k = 1; k <= kSize / 2; ++k) {
      if (std::hypot(out[k][0], out[k][1]) > std::hypot(out[peak][0], out[peak][1])) peak = k;
    }
    return peak;
  }

 private:
  LateLibrary library_;
  decltype(&::fftwf_plan_dft_r2c_1d) plan_ = nullptr;
  decltype(&::fftwf_execute) execute_ = nullptr;
  decltype(&::fftwf_destroy_plan) destroy_ = nullptr;
};

TEST(LateLibraryTest, ALibraryOpenedByNameRunsAndWhatIsMissingIsNamed) {
  LateFftw fftw;
  ASSERT_TRUE(fftw.ok()) << fftw.error();
  EXPECT_EQ(fftw.PeakBand(), 6);

  LateLibrary missing_file({"libvorel-no-such-library.so.1"});
  EXPECT_FALSE(missing_file.ok());
  EXPECT_NE(missing_file.error().find("libvorel-no-such-library.so.1"), std::string::npos);

  LateLibrary fftw_again({"libfftw3f.so.3"});
  EXPECT_EQ(fftw_again.Find("fftwf_no_such_function"), nullptr);
  EXPECT_FALSE(fftw_again.ok());
  EXPECT_NE(fftw_again.error().find("fftwf_no_such_function"), std::string::npos);
}

}  // namespace
}  // namespace vorel::platform
