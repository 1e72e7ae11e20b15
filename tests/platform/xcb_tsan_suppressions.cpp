// Compiled into the X test program: Qt's xcb reader thread allocates every
// event and the UI thread frees it after taking it from Qt's queue, whose
// (uninstrumented) synchronisation ThreadSanitizer cannot see.
extern "C" const char* __tsan_default_suppressions() {
  return "race:libQt6XcbQpa.so\n";
}
