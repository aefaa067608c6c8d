// fontconfig keeps font-matching results for the life of the process and never
// frees some of them; that memory is not ours to release. Everything else is
// still checked by the leak sanitizer.
#if defined(__SANITIZE_ADDRESS__)
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
#endif
