/* Writes its working folder and its arguments after the first, each ended by a NUL byte,
   to the file named by its first argument, then exits with the code in ARGUMENT_DUMP_EXIT. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc < 2) {
        return 100;
    }
    FILE* out = fopen(argv[1], "wb");
    if (out == NULL) {
        return 101;
    }
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd) == NULL) {
        cwd[0] = '\0';
    }
    fwrite(cwd, 1, sizeof(char) * (strlen(cwd) + 1), out);
    for (int i = 2; i < argc; ++i) {
        fwrite(argv[i], 1, strlen(argv[i]) + 1, out);
    }
    fclose(out);
    const char* code = getenv("ARGUMENT_DUMP_EXIT");
    return code != NULL ? atoi(code) : 0;
}
