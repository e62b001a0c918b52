// LeakSanitizer's suppressions for the window's test programs only: a 16-byte guard block that
// Qt allocates for a QPointer (QtSharedPointer::ExternalRefCountData) and still holds at exit,
// and the D-Bus client's block when no session bus runs. The core's tests keep the full checks.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:QtSharedPointer::ExternalRefCountData::getAndRef\nleak:libdbus-1.so.3\n";
}
