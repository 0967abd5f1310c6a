#include "core/krpath.h"
#include "tests/support/param_name.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class KrPathTest : public ::testing::Test {
  protected:
    void SetUp() override { krpath_setRoot("/tmp/simroot/"); }
    void TearDown() override { krpath_setRoot(nullptr); }
};

TEST_F(KrPathTest, ResolvesUnderRootWithoutDoubleSlash) {
    EXPECT_STREQ(KrPath("/korvane/cust/sav0").c_str(), "/tmp/simroot/korvane/cust/sav0");
    krpath_setRoot("");
    EXPECT_STREQ(KrPath("/media/ram/x").c_str(), "/media/ram/x");
}

TEST_F(KrPathTest, ResolveRefusesWhatDoesNotFit) {
    std::string longPath(KR_PATH_MAX, 'a');
    char out[KR_PATH_MAX];
    EXPECT_EQ(krpath_resolve(longPath.c_str(), out, sizeof(out)), -1);
    EXPECT_STREQ(out, "");
    EXPECT_FALSE(KrPath(longPath.c_str()).ok());
}

struct JoinCase {
    const char *name;
    const char *expect;  // nullptr: refused
};

class KrPathJoinTest : public KrPathTest, public ::testing::WithParamInterface<JoinCase> {};

TEST_P(KrPathJoinTest, ClientNamesStayInsideTheirDirectory) {
    char out[KR_PATH_MAX] = "unchanged";
    int r = krpath_joinInside("/korvane/cust/list/", GetParam().name, out, sizeof(out));
    if (GetParam().expect) {
        EXPECT_EQ(r, 0);
        EXPECT_STREQ(out, GetParam().expect);
    } else {
        EXPECT_EQ(r, -1) << "accepted " << GetParam().name << " as " << out;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Names, KrPathJoinTest,
    ::testing::Values(JoinCase{"a.lst", "/tmp/simroot/korvane/cust/list/a.lst"},
                      JoinCase{"./a.lst", "/tmp/simroot/korvane/cust/list/a.lst"},
                      JoinCase{"sub//b", "/tmp/simroot/korvane/cust/list/sub/b"},
                      JoinCase{"sub/../c", "/tmp/simroot/korvane/cust/list/c"},
                      JoinCase{"/korvane/cust/list/d", "/tmp/simroot/korvane/cust/list/d"},
                      JoinCase{"", nullptr}, JoinCase{".", nullptr}, JoinCase{"..", nullptr},
                      JoinCase{"../sav0", nullptr}, JoinCase{"a/../../x", nullptr},
                      JoinCase{"/etc/passwd", nullptr}, JoinCase{"/korvane/cust/listx", nullptr},
                      JoinCase{"/korvane/cust/list", nullptr}, JoinCase{"sub/..", nullptr}),
    [](const ::testing::TestParamInfo<JoinCase> &info) { return paramName(info.param.name); });

}  // namespace
