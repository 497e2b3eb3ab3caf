/* The reference for the ini reader: asks the Windows profile functions what they read.
 * Built with mingw-w64 and run under wine64 by scripts/make-profile-answers, not by CMake.
 *
 *   ProfileReference.exe FOLDER QUERIES
 *
 * QUERIES holds one query a line: an ini file in FOLDER, the section, the key, the string
 * default and the integer default, separated by tabs, with the escapes \t, \\ and \xNN; lines
 * starting with '#' are skipped. Each query is printed as it is, followed by what
 * GetPrivateProfileStringA returned into a 256-byte buffer (its count and the text, escaped
 * the same way) and what GetPrivateProfileIntA returned. */

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

enum { kFields = 5, kValueSize = 256 };

static int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

/* Decodes the escapes in place; 0 for a malformed one. */
static int unescape(char *text) {
    char *out = text;
    while (*text) {
        if (*text != '\\') {
            *out++ = *text++;
            continue;
        }
        if (text[1] == 't') {
            *out++ = '\t';
            text += 2;
        } else if (text[1] == '\\') {
            *out++ = '\\';
            text += 2;
        } else if (text[1] == 'x' && hex_digit(text[2]) >= 0 && hex_digit(text[3]) >= 0) {
            *out++ = (char)(hex_digit(text[2]) * 16 + hex_digit(text[3]));
            text += 4;
        } else {
            return 0;
        }
    }
    *out = 0;
    return 1;
}

static void print_escaped(const char *text, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        const unsigned char c = (unsigned char)text[i];
        if (c == '\\') fputs("\\\\", stdout);
        else if (c == '\t') fputs("\\t", stdout);
        else if (c < 0x20 || c >= 0x7f) printf("\\x%02x", c);
        else putchar(c);
    }
}

int main(int argc, char **argv) {
    char line[4096], value[kValueSize], path[MAX_PATH];
    if (argc != 3) {
        fputs("usage: ProfileReference.exe FOLDER QUERIES\n", stderr);
        return 2;
    }
    _setmode(_fileno(stdout), _O_BINARY);
    FILE *queries = fopen(argv[2], "rb");
    if (!queries) {
        fprintf(stderr, "cannot open %s\n", argv[2]);
        return 1;
    }
    for (int number = 1; fgets(line, sizeof line, queries); ++number) {
        line[strcspn(line, "\r\n")] = 0;
        if (line[0] == '#' || line[0] == 0) continue;
        printf("%s\t", line);

        char *fields[kFields];
        char *field = line;
        int count = 0;
        for (; field && count < kFields; ++count) {
            fields[count] = field;
            field = strchr(field, '\t');
            if (field) *field++ = 0;
        }
        int wellFormed = count == kFields && !field;
        for (int i = 0; wellFormed && i < kFields; ++i) wellFormed = unescape(fields[i]);
        if (!wellFormed) {
            fprintf(stderr, "line %d: not five well-formed fields\n", number);
            return 1;
        }

        snprintf(path, sizeof path, "%s\\%s", argv[1], fields[0]);
        memset(value, 0, sizeof value);
        const DWORD length = GetPrivateProfileStringA(fields[1], fields[2], fields[3], value,
                                                      sizeof value, path);
        const UINT integer = GetPrivateProfileIntA(fields[1], fields[2], atoi(fields[4]), path);
        printf("%lu\t", (unsigned long)length);
        print_escaped(value, strnlen(value, sizeof value));
        printf("\t%d\n", (int)integer);
    }
    return ferror(queries) ? 1 : 0;
}
