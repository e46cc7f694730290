// Libraries opened late, and the pages their loading touched given back.
#include "platform/late_library.h"

#include <dlfcn.h>
#include <fftw3.h>  // for the function types only: the test does not link FFTW
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/testing/process.h"

namespace vorel::platform {
namespace {

using vorel::testing::ResidentCodeKib;

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

TEST(LateLibraryTest, GivingBackLoadPagesKeepsOnlyWhatRunsAndLosesNoState) {
  // Loaded before the late library, and used: its pages must stay.
  void* zlib = dlopen("libz.so.1", RTLD_NOW);
  ASSERT_NE(zlib, nullptr) << dlerror();
  auto version = reinterpret_cast<const char* (*)()>(dlsym(zlib, "zlibVersion"));
  ASSERT_NE(version, nullptr);
  ASSERT_NE(version()[0], '\0');
  const long zlib_before = ResidentCodeKib("libz.so");
  ASSERT_GT(zlib_before, 0);

  LateFftw fftw;
  ASSERT_TRUE(fftw.ok()) << fftw.error();
  EXPECT_EQ(fftw.PeakBand(), 6);
  const long planned = ResidentCodeKib("libfftw3f");
  EXPECT_GT(planned, 64);

  // What may stay are a few pages next to the relocated data that the loader write-protected
  // without writing them.
  ReleaseLatePages();
  EXPECT_LE(ResidentCodeKib("libfftw3f"), 16) << "of " << planned << " KiB";
  EXPECT_EQ(ResidentCodeKib("libz.so"), zlib_before);

  // The planner's tables and the relocated pointers are in the writable pages, which stay:
  // planning again after the code pages went, twice over, gives the same answer.
  EXPECT_EQ(fftw.PeakBand(), 6);
  EXPECT_GT(ResidentCodeKib("libfftw3f"), 0);
  ReleaseLatePages();
  EXPECT_EQ(fftw.PeakBand(), 6);
}

}  // namespace
}  // namespace vorel::platform
