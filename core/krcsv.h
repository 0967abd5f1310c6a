// Cell-by-cell reader of separated-value files (flatness tables, list files). The row width
// is learned from the first line; each later line starts a new row, except that a line with
// fewer cells than that continues the numbering of the row before it (a row wrapped over
// lines). Blank lines hold no cells. Lines longer than the buffer lose their tail.
//
// Cells are handed out as text inside the reader's line buffer, trimmed of white space and
// valid until the next call. Nothing is allocated.
//
// Context: any thread; one reader per thread.
#pragma once

#include <cstdint>
#include <cstdio>

constexpr int KRCSV_LINE_SIZE = 500;

struct Krcsv {
    FILE *file;
    int32_t rows;         // rows reached so far
    int32_t cellsPerRow;  // of the first row; 0 until it is read
    int32_t row, col;     // of the next cell
    char line[KRCSV_LINE_SIZE];
    int32_t pos;  // of the next cell in line
    char separator;
    bool end;
    bool needNewLine;
};

// Opens the (resolved) path for reading. 0, or -1 with the end flag set.
int krcsv_open(Krcsv *reader, const char *path, char separator);
// 1 and the next cell in *text, or 0 at the end of the file.
int krcsv_getCell(Krcsv *reader, const char **text);
// The same with the cell's column and row (both from 0).
int krcsv_getCellAndItsIndex(Krcsv *reader, const char **text, int32_t *col, int32_t *row);
void krcsv_close(Krcsv *reader);
