// Leaks the sanitizer build must not count against us: fontconfig keeps its
// font sets for the life of the process on purpose and never frees them at
// exit. Compiled into every program that links the window layer; in a build
// without the leak checker the function is never called.
extern "C" const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}
