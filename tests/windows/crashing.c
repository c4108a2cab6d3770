/* A program that crashes, for the test that a crash fails the run: "plain" writes through a bad
 * pointer in its own code; "in-ntdll" faults inside the system's heap code (a look into a heap
 * destroyed before), after which Wine's debugger ends the program with status 0. */
#include <string.h>
#include <windows.h>

int main(int argc, char** argv) {
    if (argc > 1 && strcmp(argv[1], "in-ntdll") == 0) {
        HANDLE heap = HeapCreate(0, 1 << 20, 0);
        void* block = HeapAlloc(heap, 0, 61440);
        HeapDestroy(heap);
        HeapValidate(heap, 0, block);
        return 0;
    }
    int* volatile nowhere = (int*)16; /* the first page, never mapped */
    *nowhere = 1;
    return 0;
}
