// The progress line: redrawn in place, never wider than the terminal, and
// without control sequences on a dumb terminal.

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include <cli/progress_line.h>

namespace tabrivo::cli {
namespace {

struct WidthCase {
    std::size_t columns;
    bool dumb;
};

class ProgressLineWidth : public ::testing::TestWithParam<WidthCase> {};

TEST_P(ProgressLineWidth, eachRedrawFitsOnOneLine) {
    const WidthCase terminal = GetParam();
    std::ostringstream out;
    ProgressLine line(out, {terminal.columns, terminal.dumb});
    BatchProgress progress;
    progress.total = 3;
    for (const char* name : {"/d/short.html",
                             "/d/a-rather-long-name-\xC3\xA9\xC3\xA9\xC3\xA9-"
                             "that-goes-on-and-on-and-on-and-on.html",
                             "/d/x.html"}) {
        progress.current = name;
        progress.done = progress.total;  // a finished run always redraws
        line.update(progress);
    }
    const std::string drawn = out.str();
    EXPECT_EQ(drawn.find('\n'), std::string::npos) << drawn;
    EXPECT_EQ(drawn.find('\033') == std::string::npos, terminal.dumb) << drawn;
    std::istringstream redraws(drawn);
    std::string redraw;
    while (std::getline(redraws, redraw, '\r')) {
        if (redraw.rfind("\033[K", 0) == 0) {
            redraw.erase(0, 3);
        }
        EXPECT_LT(redraw.size(), terminal.columns) << redraw;
    }
}

INSTANTIATE_TEST_SUITE_P(Terminals, ProgressLineWidth,
                         ::testing::Values(WidthCase{80, false}, WidthCase{40, false},
                                           WidthCase{12, false}, WidthCase{50, true}),
                         [](const ::testing::TestParamInfo<WidthCase>& tested) {
                             return std::to_string(tested.param.columns) + "Columns" +
                                    (tested.param.dumb ? "Dumb" : "");
                         });

}  // namespace
}  // namespace tabrivo::cli
