#include "runtime/output_file.h"

OutputFile::~OutputFile() { abandon(); }

bool OutputFile::fail(std::int64_t code) {
  if (!failed_) error_ = code;
  failed_ = true;
  return false;
}

Text OutputFile::failureReason() const { return failed_ ? OsErrorText(error_) : Text(); }

void OutputFile::reset() {
  abandon();
  kind_ = OutputKind::Replace;
  target_.clear();
  existing_ = FileIdentity{};
  regular_ = false;
  failed_ = false;
  error_ = 0;
}

bool OutputFile::open(OutputKind kind, OsHandle handle) {
  if (handle == kInvalidHandle) return fail(OsLastError());
  handle_ = handle;
  kind_ = kind;
  regular_ = kind == OutputKind::Replace || OsHandleIsRegularFile(handle);
  return true;
}

bool OutputFile::create(TextView path) {
  reset();
  OutputPlan plan;
  if (!OsPlanOutput(path, plan)) return fail(OsLastError());
  target_ = plan.target;
  existing_ = plan.existing;
  switch (plan.kind) {
    case OutputKind::StandardOutput: return open(plan.kind, OsDuplicateStandardOutput());
    case OutputKind::Direct: return open(plan.kind, OsOpenDirectOutput(plan.target));
    case OutputKind::Replace: break;
  }
  Text temporary;
  const OsHandle handle = OsCreateTemporaryBeside(plan.target, temporary);
  if (handle == kInvalidHandle) return fail(OsLastError());
  temporary_ = temporary;  // registered for removal on an interrupt as it was made
  return open(plan.kind, handle);
}

bool OutputFile::createStandardOutput() {
  reset();
  const OsHandle handle = OsDuplicateStandardOutput();
  existing_ = OsHandleIdentity(handle);
  return open(OutputKind::StandardOutput, handle);
}

bool OutputFile::write(std::string_view bytes) {
  if (handle_ == kInvalidHandle || failed_) return false;
  const auto count = static_cast<std::int64_t>(bytes.size());
  return OsWrite(handle_, bytes.data(), count) == count || fail(OsLastError());
}

void OutputFile::close() {
  if (handle_ != kInvalidHandle && !OsClose(handle_)) fail(OsLastError());
  handle_ = kInvalidHandle;
}

bool OutputFile::commit() {
  if (handle_ == kInvalidHandle) return false;
  if (temporary_.empty()) {  // written directly: what reached it stays
    close();
    return !failed_;
  }
  if (!failed_ && !OsSyncFile(handle_)) fail(OsLastError());
  close();
  if (!failed_ && !OsReplaceFile(temporary_, target_)) fail(OsLastError());
  if (failed_) {
    abandon();
    return false;
  }
  OsForgetOnInterrupt(temporary_);
  temporary_.clear();
  return true;
}

void OutputFile::abandon() {
  if (handle_ != kInvalidHandle) {
    OsClose(handle_);
    handle_ = kInvalidHandle;
  }
  if (!temporary_.empty()) {
    OsRemoveFile(temporary_);
    OsForgetOnInterrupt(temporary_);
    temporary_.clear();
  }
}
