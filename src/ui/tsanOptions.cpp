// ThreadSanitizer's options for the window's test programs only: Debian's Qt and GLib are not
// instrumented, so their own threads (the event queue, the paint pool) would be reported;
// accesses from uninstrumented modules are ignored. The core's tests keep the full checks.
extern "C" const char* __tsan_default_options() { return "ignore_noninstrumented_modules=1"; }
