// Leak suppressions compiled into the program: the test launcher does not
// hand LSAN_OPTIONS through, and font lookups keep caches that are never
// freed. (ThreadSanitizer's are in tests/support/qt_tsan_suppressions.cpp.)
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n"
         "leak:libQt6Gui.so\n"
         "leak:libQt6Core.so\n"
         "leak:libQt6Widgets.so\n"
         "leak:libdbus-1.so\n"
         "leak:libglib-2.0.so\n"
         "leak:libX11.so\n"
         "leak:libxcb.so\n";
}
