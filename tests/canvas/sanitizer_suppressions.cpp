// Sanitizer suppressions compiled into the program: the test launcher does
// not hand LSAN_OPTIONS through, font lookups keep caches that are never
// freed, and Qt's raster engine hands large fills to its own thread pool,
// whose (uninstrumented) synchronisation ThreadSanitizer cannot see.
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

extern "C" const char* __tsan_default_suppressions() {
  return "race:libQt6Core.so\n"
         "race:libQt6Gui.so\n";
}
