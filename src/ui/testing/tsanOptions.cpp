// ThreadSanitizer's defaults for the window's test programs: the project's suppressions for the
// toolkit's own libraries (tsan.supp says why), so that the tests are checked the same way when
// they run without TSAN_OPTIONS; a TSAN_OPTIONS that names the file says the same.
extern "C" const char* __tsan_default_options() {
    return "suppressions=" QUILLON_TSAN_SUPPRESSIONS;
}
