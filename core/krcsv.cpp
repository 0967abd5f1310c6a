#include "core/krcsv.h"

#include <cctype>
#include <cstring>

#include "core/printd.h"

namespace {

bool blank(const char *s) {
    while (*s && isspace((unsigned char)*s))
        s++;
    return *s == 0;
}

int countCells(const char *s, char separator) {
    int n = 1;
    for (; *s; s++)
        if (*s == separator) n++;
    return n;
}

// Reads the next line that holds cells and decides which row it belongs to. False at the end.
bool nextLine(Krcsv *r) {
    for (;;) {
        if (!r->file || !fgets(r->line, sizeof(r->line), r->file)) return false;
        size_t n = strlen(r->line);
        if (n > 0 && r->line[n - 1] == '\n') {
            r->line[n - 1] = 0;
        } else if (!feof(r->file)) {
            printd("krcsv_getCell(): line longer than %d bytes, tail dropped\n",
                   KRCSV_LINE_SIZE - 1);
            int c;
            while ((c = fgetc(r->file)) != EOF && c != '\n') {
            }
        }
        if (blank(r->line)) continue;
        r->pos = 0;
        r->needNewLine = false;
        int cells = countCells(r->line, r->separator);
        if (r->cellsPerRow == 0) {
            r->cellsPerRow = cells;
            r->rows = 1;
        } else if (cells >= r->cellsPerRow) {
            r->row = r->rows++;
            r->col = 0;
        }
        return true;
    }
}

char *trim(char *s) {
    while (*s && isspace((unsigned char)*s))
        s++;
    size_t n = strlen(s);
    while (n > 0 && isspace((unsigned char)s[n - 1]))
        s[--n] = 0;
    return s;
}

}  // namespace

int krcsv_open(Krcsv *reader, const char *path, char separator) {
    memset(reader, 0, sizeof(*reader));
    reader->separator = separator;
    reader->needNewLine = true;
    reader->file = fopen(path, "r");
    if (!reader->file) {
        printd("krcsv_open(): cannot open %s\n", path);
        reader->end = true;
        return -1;
    }
    return 0;
}

int krcsv_getCellAndItsIndex(Krcsv *reader, const char **text, int32_t *col, int32_t *row) {
    if (reader->end) return 0;
    if (reader->needNewLine && !nextLine(reader)) {
        reader->end = true;
        return 0;
    }
    char *start = reader->line + reader->pos;
    char *sep = reader->separator ? strchr(start, reader->separator) : nullptr;
    if (sep) {
        *sep = 0;
        reader->pos = (int32_t)(sep + 1 - reader->line);
    } else {
        reader->needNewLine = true;
    }
    *text = trim(start);
    if (col) *col = reader->col;
    if (row) *row = reader->row;
    reader->col++;
    return 1;
}

int krcsv_getCell(Krcsv *reader, const char **text) {
    return krcsv_getCellAndItsIndex(reader, text, nullptr, nullptr);
}

void krcsv_close(Krcsv *reader) {
    if (reader->file) fclose(reader->file);
    reader->file = nullptr;
    reader->end = true;
}
