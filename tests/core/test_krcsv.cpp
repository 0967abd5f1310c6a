#include "core/krcsv.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

struct Cell {
    std::string text;
    int32_t col, row;
    bool operator==(const Cell &) const = default;
};

std::vector<Cell> readAll(const std::string &content, char separator = ';') {
    char path[] = "/tmp/krcsv_test.XXXXXX";
    int fd = mkstemp(path);
    EXPECT_GE(fd, 0);
    close(fd);
    std::ofstream(path) << content;
    Krcsv csv;
    EXPECT_EQ(krcsv_open(&csv, path, separator), 0);
    std::vector<Cell> cells;
    const char *text;
    int32_t col, row;
    while (krcsv_getCellAndItsIndex(&csv, &text, &col, &row))
        cells.push_back({text, col, row});
    EXPECT_EQ(krcsv_getCell(&csv, &text), 0);  // the end stays the end
    krcsv_close(&csv);
    unlink(path);
    return cells;
}

TEST(Krcsv, CellsAreTrimmedAndNumberedByRowAndColumn) {
    // The first line sets three cells a row; "g" alone continues the row before it, a blank
    // line holds no cells, and a line without its line feed still counts.
    auto cells = readAll(" a ; b\t;c\r\n d;;f \n\n g\nh;i;j");
    std::vector<Cell> expect = {
        {"a", 0, 0}, {"b", 1, 0}, {"c", 2, 0}, {"d", 0, 1}, {"", 1, 1},
        {"f", 2, 1}, {"g", 3, 1}, {"h", 0, 2}, {"i", 1, 2}, {"j", 2, 2},
    };
    EXPECT_EQ(cells, expect);
    // Another separator; commas are then text.
    expect = {{"1;2", 0, 0}, {"3", 1, 0}, {"4", 0, 1}, {"5", 1, 1}};
    EXPECT_EQ(readAll("1;2,3\n4,5\n", ','), expect);
}

TEST(Krcsv, OverlongLineLosesItsTailNotTheNextLine) {
    std::string longCell(KRCSV_LINE_SIZE + 100, 'x');
    auto cells = readAll("a;" + longCell + ";z\nb;c\n");
    ASSERT_EQ(cells.size(), 4u);
    EXPECT_EQ(cells[1].text, longCell.substr(0, KRCSV_LINE_SIZE - 3));
    EXPECT_EQ(cells[2], (Cell{"b", 0, 1}));
    EXPECT_EQ(cells[3], (Cell{"c", 1, 1}));
}

TEST(Krcsv, MissingFileIsAtItsEnd) {
    Krcsv csv;
    EXPECT_EQ(krcsv_open(&csv, "/nonexistent/krcsv/file", ';'), -1);
    EXPECT_TRUE(csv.end);
    const char *text = nullptr;
    EXPECT_EQ(krcsv_getCell(&csv, &text), 0);
    krcsv_close(&csv);
}

}  // namespace
