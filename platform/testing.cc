#include "platform/testing.h"

#include "platform/durable_file.h"

namespace vorel::platform {

ScopedFileStepRecord::ScopedFileStepRecord() { internal::SetFileStepRecord(true); }

ScopedFileStepRecord::~ScopedFileStepRecord() { internal::SetFileStepRecord(false); }

std::vector<std::string> ScopedFileStepRecord::steps() const {
  return internal::RecordedFileSteps();
}

}  // namespace vorel::platform
