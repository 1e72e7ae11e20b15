// ThreadSanitizer suppressions compiled into test programs that run Qt:
// Qt's raster engine hands large fills to its own thread pool, and its xcb
// reader thread allocates every event that the UI thread frees after taking
// it from Qt's queue. Both synchronise in uninstrumented Qt code that
// ThreadSanitizer cannot see.
extern "C" const char* __tsan_default_suppressions() {
  return "race:libQt6Core.so\n"
         "race:libQt6Gui.so\n"
         "race:libQt6XcbQpa.so\n";
}
