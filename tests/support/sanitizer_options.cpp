// Sanitizer settings the test program needs whatever the environment adds (the environment's
// options are applied on top). In builds without sanitizers nothing reads these functions.
//
// The plug-in asks for sizes that cannot be had on purpose (hostile formats and settings) and must
// get a null block back, as from the C library, rather than a report. Every report ends the
// program with a failure, so that ctest counts it instead of reading on.

extern "C" {

const char* __asan_default_options() {
  return "allocator_may_return_null=1:abort_on_error=1:detect_leaks=1";
}

const char* __ubsan_default_options() { return "halt_on_error=1:print_stacktrace=1"; }

const char* __tsan_default_options() { return "halt_on_error=1"; }

}  // extern "C"
