/* A DLL that one of the self-check's broken plugins needs, kept where Windows does not look for it. */
__declspec(dllexport) int gdivideo_test_dependency(void) { return 0; }
