// Default options of the sanitizer runtimes, linked into every program of a
// sanitizer or fuzz build. Variables such as ASAN_OPTIONS still override them.
// The suppression files hold only known noise of system libraries, each entry
// with its reason; our own code is never suppressed.

#ifndef ZUVO2_SUPP_DIR
#error "ZUVO2_SUPP_DIR must name the directory of the suppression files"
#endif

#define ZUVO2_VISIBLE extern "C" __attribute__((visibility("default"), used))

ZUVO2_VISIBLE const char* __asan_default_options()
{
    // Leak checking stays on; the order checks catch static-init surprises.
    return "detect_leaks=1:check_initialization_order=1:strict_init_order=1:"
           "detect_stack_use_after_return=0:handle_abort=1:print_summary=1";
}

ZUVO2_VISIBLE const char* __lsan_default_options()
{
    return "suppressions=" ZUVO2_SUPP_DIR "/lsan.supp:print_suppressions=0";
}

ZUVO2_VISIBLE const char* __ubsan_default_options()
{
    return "print_stacktrace=1:halt_on_error=1:suppressions=" ZUVO2_SUPP_DIR "/ubsan.supp";
}

ZUVO2_VISIBLE const char* __tsan_default_options()
{
    // The first race ends the test with a failure.
    return "halt_on_error=1:second_deadlock_stack=1:suppressions=" ZUVO2_SUPP_DIR "/tsan.supp";
}
