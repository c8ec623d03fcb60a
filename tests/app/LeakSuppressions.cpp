// The font library keeps caches the sanitizer's leak check cannot see freed; they are not ours.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
