/* Bare gumbo parse baseline for Tabrivo's benchmarks.
 *
 * Reads each file named on the command line (or listed, one path a line, in
 * the file given with --files-from LIST) and parses its raw bytes with gumbo,
 * using kGumboDefaultOptions with max_errors = 0, then frees the tree.  Nothing
 * else is done with the tree: this is the floor any gumbo-based converter
 * stands on.  Prints the number of files, the total bytes and the seconds spent
 * (reading + parsing + freeing, wall clock).
 */
#define _POSIX_C_SOURCE 200809L
#include <gumbo.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static double now_seconds(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (double)ts.tv_sec + (double)ts.tv_nsec / 1e9;
}

static char* read_whole_file(const char* path, size_t* size_out) {
    FILE* f = fopen(path, "rb");
    if (!f)
        return NULL;
    size_t capacity = 1 << 16, size = 0;
    char* data = malloc(capacity);
    if (!data) {
        fclose(f);
        return NULL;
    }
    for (;;) {
        if (size == capacity) {
            capacity *= 2;
            char* grown = realloc(data, capacity);
            if (!grown) {
                free(data);
                fclose(f);
                return NULL;
            }
            data = grown;
        }
        size_t got = fread(data + size, 1, capacity - size, f);
        size += got;
        if (got == 0)
            break;
    }
    fclose(f);
    *size_out = size;
    return data;
}

static int parse_one(const char* path, GumboOptions* options, unsigned long long* bytes) {
    size_t size = 0;
    char* data = read_whole_file(path, &size);
    if (!data) {
        fprintf(stderr, "gumbo-parse-baseline: cannot read %s\n", path);
        return 1;
    }
    GumboOutput* output = gumbo_parse_with_options(options, data, size);
    gumbo_destroy_output(options, output);
    free(data);
    *bytes += size;
    return 0;
}

int main(int argc, char** argv) {
    GumboOptions options = kGumboDefaultOptions;
    options.max_errors = 0;

    unsigned long long bytes = 0, files = 0;
    int failures = 0;
    double start = now_seconds();
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--files-from") == 0 && i + 1 < argc) {
            const char* list_path = argv[++i];
            FILE* list = strcmp(list_path, "-") == 0 ? stdin : fopen(list_path, "r");
            if (!list) {
                fprintf(stderr, "gumbo-parse-baseline: cannot open list %s\n", list_path);
                return 2;
            }
            char* line = NULL;
            size_t line_cap = 0;
            ssize_t len;
            while ((len = getline(&line, &line_cap, list)) != -1) {
                while (len > 0 && (line[len - 1] == '\n' || line[len - 1] == '\r'))
                    line[--len] = 0;
                if (len == 0)
                    continue;
                failures += parse_one(line, &options, &bytes);
                ++files;
            }
            free(line);
            if (list != stdin)
                fclose(list);
        } else {
            failures += parse_one(argv[i], &options, &bytes);
            ++files;
        }
    }
    double seconds = now_seconds() - start;
    printf("files=%llu bytes=%llu seconds=%.6f MB/s=%.2f\n", files, bytes, seconds,
           seconds > 0 ? (double)bytes / 1e6 / seconds : 0.0);
    return failures ? 1 : 0;
}
